// Sockets on the loopback interface, for tests that speak to a server byte
// by byte.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace Halden::testing {

// 127.0.0.1 at `port`.
inline sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A connection from the loopback address `from` to 127.0.0.1 at `port`,
// whose receives give up after 30 s.
inline int Connected(int port, uint32_t from = INADDR_LOOPBACK) {
  const int made = socket(AF_INET, SOCK_STREAM, 0);
  const timeval wait{30, 0};
  setsockopt(made, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in local = Loopback(0);
  local.sin_addr.s_addr = htonl(from);
  EXPECT_EQ(bind(made, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
  const sockaddr_in address = Loopback(port);
  EXPECT_EQ(connect(made, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return made;
}

}  // namespace Halden::testing
