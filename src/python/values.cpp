#include "python/values.h"

#include <pybind11/stl.h>

#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "yaml/load.h"

namespace zarn::python {
namespace {

using yaml::Kind;
using yaml::Node;

py::object integer_object(const yaml::Integer& value) {
  return py::reinterpret_steal<py::object>(PyLong_FromString(value.decimal().c_str(), nullptr, 10));
}

py::object timestamp_object(const yaml::Timestamp& t) {
  const py::module_ datetime = py::module_::import("datetime");
  if (!t.has_time) return datetime.attr("date")(t.year, t.month, t.day);
  py::object zone = py::none();
  if (t.utc_offset_minutes) {
    zone = datetime.attr("timezone")(
        datetime.attr("timedelta")(py::arg("minutes") = *t.utc_offset_minutes));
  }
  return datetime.attr("datetime")(t.year, t.month, t.day, t.hour, t.minute, t.second,
                                   t.microsecond, zone);
}

class ToPython {
 public:
  py::object convert(const Node& node) {
    switch (node.kind()) {
      case Kind::Null:
        return py::none();
      case Kind::Bool:
        return py::bool_(node.as_bool());
      case Kind::Int:
        return integer_object(node.as_integer());
      case Kind::Float:
        return py::float_(node.as_float());
      case Kind::String:
        return py::str(node.as_string());
      case Kind::Timestamp:
        return timestamp_object(node.as_timestamp());
      case Kind::Bytes:
        return py::bytes(node.as_bytes());
      case Kind::Set: {
        py::set set;
        for (const Node& member : node.members()) set.add(convert(member));
        return set;
      }
      case Kind::Sequence:
      case Kind::Mapping:
        return container(node);
    }
    return py::none();
  }

 private:
  py::object container(const Node& node) {
    if (const auto known = done_.find(node.identity()); known != done_.end()) return known->second;
    py::object result;
    if (node.is_sequence()) {
      py::list list;
      for (const Node& item : node.items()) list.append(convert(item));
      result = std::move(list);
    } else {
      py::dict dict;
      for (const auto& [key, value] : node.entries()) dict[convert(key)] = convert(value);
      result = std::move(dict);
    }
    done_.emplace(node.identity(), result);
    return result;
  }

  std::unordered_map<const void*, py::object> done_;
};

yaml::Timestamp timestamp_of(py::handle value, bool has_time) {
  const auto field = [&value](const char* name) { return value.attr(name).cast<int>(); };
  if (!has_time) return yaml::Timestamp::date(field("year"), field("month"), field("day"));
  std::optional<int> offset;
  if (const py::object delta = value.attr("utcoffset")(); !delta.is_none()) {
    offset = static_cast<int>(delta.attr("total_seconds")().cast<double>() / 60);
  }
  return yaml::Timestamp::date_time(field("year"), field("month"), field("day"), field("hour"),
                                    field("minute"), field("second"), field("microsecond"), offset);
}

class FromPython {
 public:
  Node convert(py::handle value) {
    if (value.is_none()) return Node();
    const DepthGuard guard(depth_);
    if (PyBool_Check(value.ptr())) return Node::boolean(value.cast<bool>());
    if (PyLong_Check(value.ptr())) {
      return Node::integer(yaml::Integer::from_decimal(py::str(value).cast<std::string>()));
    }
    if (PyFloat_Check(value.ptr())) return Node::floating(value.cast<double>());
    if (PyUnicode_Check(value.ptr())) return Node::string(value.cast<std::string>());
    if (PyBytes_Check(value.ptr())) return Node::binary(value.cast<std::string>());
    if (PyAnySet_Check(value.ptr())) {
      std::vector<Node> members;
      for (const py::handle member : value) members.push_back(convert(member));
      return Node::set_of(std::move(members));
    }
    if (PyList_Check(value.ptr()) || PyTuple_Check(value.ptr()) || PyDict_Check(value.ptr())) {
      return container(value);
    }
    const py::module_ datetime = py::module_::import("datetime");
    if (py::isinstance(value, datetime.attr("datetime"))) {
      return Node::timestamp(timestamp_of(value, true));
    }
    if (py::isinstance(value, datetime.attr("date"))) {
      return Node::timestamp(timestamp_of(value, false));
    }
    return Node::string(py::str(value).cast<std::string>());
  }

 private:
  Node container(py::handle value) {
    PyObject* const identity = value.ptr();
    if (const auto known = done_.find(identity); known != done_.end()) return known->second;
    if (!open_.insert(identity).second) {
      throw std::invalid_argument("the loaded document contains itself");
    }
    Node result;
    if (PyDict_Check(identity)) {
      std::vector<yaml::Pair> entries;
      for (const auto& [key, item] : value.cast<py::dict>()) {
        entries.emplace_back(convert(key), convert(item));
      }
      result = Node::mapping(std::move(entries));
    } else {
      std::vector<Node> items;
      for (const py::handle item : value) items.push_back(convert(item));
      result = Node::sequence(std::move(items));
    }
    open_.erase(identity);
    done_.emplace(identity, result);
    return result;
  }

  /// Counts one level of nesting; a value nested as deep as no YAML
  /// document may be is refused before the C stack runs out.
  class DepthGuard {
   public:
    explicit DepthGuard(std::size_t& depth) : depth_(++depth) {
      if (depth_ > yaml::kMaxDepth + 1) {
        --depth_;
        throw std::invalid_argument("the loaded document nests deeper than " +
                                    std::to_string(yaml::kMaxDepth) + " levels");
      }
    }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

   private:
    std::size_t& depth_;
  };

  std::unordered_map<PyObject*, Node> done_;
  std::unordered_set<PyObject*> open_;
  std::size_t depth_ = 0;
};

}  // namespace

py::object to_python(const yaml::Node& node) {
  return ToPython().convert(node);
}

yaml::Node from_python(py::handle value) {
  return FromPython().convert(value);
}

py::str path_text(const std::filesystem::path& path) {
  const std::string& bytes = path.native();
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeFSDefaultAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
}

py::object to_path(const std::filesystem::path& path) {
  return py::module_::import("pathlib").attr("Path")(path_text(path));
}

std::filesystem::path path_argument(py::handle value) {
  PyObject* converted = nullptr;
  if (PyUnicode_FSConverter(value.ptr(), &converted) == 0) throw py::error_already_set();
  const auto bytes = py::reinterpret_steal<py::bytes>(converted);
  return std::filesystem::path(bytes.cast<std::string>());
}

std::optional<std::filesystem::path> optional_path(py::handle value) {
  if (value.is_none()) return std::nullopt;
  return path_argument(value);
}

std::string text_argument(py::handle value, const char* name) {
  if (!PyUnicode_Check(value.ptr())) {
    throw py::type_error(std::string(name) + " must be str, not " + Py_TYPE(value.ptr())->tp_name);
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
  if (data == nullptr) throw py::error_already_set();
  std::string text(data, static_cast<std::size_t>(size));
  if (text.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  return text;
}

bool truth(py::handle value) {
  const int result = PyObject_IsTrue(value.ptr());
  if (result < 0) throw py::error_already_set();
  return result == 1;
}

std::set<std::string> text_set(py::handle values) {
  std::set<std::string> texts;
  for (const py::handle value : values) texts.insert(py::str(value).cast<std::string>());
  return texts;
}

}  // namespace zarn::python
