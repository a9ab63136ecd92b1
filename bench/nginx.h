#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/test_client.h"

// nginx with one worker and no access log, serving www/ of the working
// folder on `port`; over TLS alone when given a certificate and its key.
class Nginx {
 public:
  explicit Nginx(int port, const std::string& cert = "", const std::string& key = "") {
    namespace fs = std::filesystem;
    fs::create_directories("nginx");
    std::ofstream conf("nginx/nginx.conf");
    conf << "worker_processes 1;\n"
         << (::geteuid() == 0 ? "user root;\n" : "") << "error_log stderr error;\npid "
         << fs::absolute("nginx/nginx.pid").string()
         << ";\nevents { worker_connections 1024; }\n"
            "http { access_log off; sendfile on; include /etc/nginx/mime.types;\n"
            "  client_body_temp_path nginx; proxy_temp_path nginx; fastcgi_temp_path nginx;\n"
            "  uwsgi_temp_path nginx; scgi_temp_path nginx;\n"
            "  server { listen 127.0.0.1:"
         << port << (cert.empty() ? "" : " ssl") << "; root " << fs::absolute("www").string()
         << ";";
    if (!cert.empty())
      conf << " ssl_certificate " << cert << "; ssl_certificate_key " << key
           << "; ssl_protocols TLSv1.2 TLSv1.3;";
    conf << " } }\n";
    conf.close();
    pid_ = ::fork();
    if (pid_ == 0) {
      std::string path = fs::absolute("nginx/nginx.conf").string();
      ::execlp("nginx", "nginx", "-c", path.c_str(), "-p", fs::absolute("nginx").c_str(), "-g",
               "daemon off;", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Over TLS, nginx answers a plain request too: with a 400.
    while (Exchange(port, "GET / HTTP/1.0\r\n\r\n", 1000).empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~Nginx() {
    ::kill(pid_, SIGQUIT);
    ::waitpid(pid_, nullptr, 0);
  }
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;

 private:
  pid_t pid_ = -1;
};

// The first number `command`'s output gives after `label` (a scanf
// format ending in %lf), or 0.
inline double CommandFigure(const std::string& command, const char* label) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
  char line[512];
  while (pipe && std::fgets(line, sizeof line, pipe.get())) {
    double value = 0;
    if (std::sscanf(line, label, &value) == 1) return value;
  }
  return 0;
}

// wrk's requests per second for `url` (http or https) over 4 connections
// kept open.
inline double KeptOpenRequestsPerSecond(const std::string& url) {
  return CommandFigure("wrk -t1 -c4 -d2s " + url, "Requests/sec: %lf");
}
