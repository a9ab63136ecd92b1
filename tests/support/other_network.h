#pragma once

#include <unistd.h>

#include <string>

#include "tests/support/command.h"

// Runs commands in a network namespace of its own, joined to this one by a
// veth pair: this side Host(), the namespace's Peer(), a /30 of
// 198.51.100.0/24 chosen by the process, so that tests running at once
// each have their own.
class OtherNetwork {
 public:
  OtherNetwork() : id_(std::to_string(::getpid())) {
    const int block = static_cast<int>(::getpid() % 63) * 4;
    host_ = "198.51.100." + std::to_string(block + 1);
    peer_ = "198.51.100." + std::to_string(block + 2);
    ready_ = RunCommand("ip netns add " + Namespace() + " && ip link add " + Link() +
                        " type veth peer name owlp" + id_ + " && ip link set owlp" + id_ +
                        " netns " + Namespace() + " && ip addr add " + host_ + "/30 dev " + Link() +
                        " && ip link set " + Link() + " up && ip netns exec " + Namespace() +
                        " ip addr add " + peer_ + "/30 dev owlp" + id_ + " && ip netns exec " +
                        Namespace() + " ip link set owlp" + id_ + " up && ip netns exec " +
                        Namespace() + " ip link set lo up && echo ready") == "ready\n";
  }
  ~OtherNetwork() {
    RunCommand("ip link del " + Link() + " 2>/dev/null; ip netns del " + Namespace() +
               " 2>/dev/null");
  }
  OtherNetwork(const OtherNetwork&) = delete;
  OtherNetwork& operator=(const OtherNetwork&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Host() const { return host_; }  // this side's address
  const std::string& Peer() const { return peer_; }  // the namespace's
  std::string Run(const std::string& command) const {
    return RunCommand("ip netns exec " + Namespace() + " " + command);
  }

 private:
  std::string Namespace() const { return "owlview" + id_; }
  std::string Link() const { return "owlh" + id_; }

  std::string id_, host_, peer_;
  bool ready_ = false;
};
