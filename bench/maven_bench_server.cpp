// A loopback Maven repository for the sync benchmarks: serves the files below
// ROOT at /maven2/ with keep-alive, waits DELAY_MS before answering each
// request (a distant repository), and appends each request path to LOG.
// Usage: maven_bench_server ROOT PORT_FILE LOG [DELAY_MS]
#include <httplib.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::cerr << "usage: maven_bench_server ROOT PORT_FILE LOG [DELAY_MS]\n";
    return 2;
  }
  const std::chrono::milliseconds delay(argc == 5 ? std::stoi(argv[4]) : 0);
  httplib::Server server;
  // Each kept-alive connection holds a worker: room for parallel clients.
  server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  server.set_keep_alive_max_count(1000000);
  server.set_tcp_nodelay(true);
  if (!server.set_mount_point("/maven2", argv[1])) {
    std::cerr << "cannot serve " << argv[1] << '\n';
    return 1;
  }
  server.set_pre_routing_handler([delay](const httplib::Request&, httplib::Response&) {
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    return httplib::Server::HandlerResponse::Unhandled;
  });
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
