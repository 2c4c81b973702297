// A loopback Maven repository for the sync benchmarks: serves the files below
// ROOT at /maven2/ with keep-alive, and appends each request path to LOG.
// Usage: maven_bench_server ROOT PORT_FILE LOG
#include <httplib.h>

#include <fstream>
#include <iostream>
#include <mutex>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: maven_bench_server ROOT PORT_FILE LOG\n";
    return 2;
  }
  httplib::Server server;
  server.set_keep_alive_max_count(1000000);
  server.set_tcp_nodelay(true);
  if (!server.set_mount_point("/maven2", argv[1])) {
    std::cerr << "cannot serve " << argv[1] << '\n';
    return 1;
  }
  std::mutex mutex;
  std::ofstream log(argv[3], std::ios::app);
  server.set_logger([&](const httplib::Request& request, const httplib::Response&) {
    std::lock_guard lock(mutex);
    log << request.path << std::endl;
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::ofstream(argv[2]) << port << '\n';
  server.listen_after_bind();
}
