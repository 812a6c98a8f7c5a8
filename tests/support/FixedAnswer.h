#pragma once
// A loopback HTTP server for tests of what fetches over the network.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

// A loopback HTTP server that gives one fixed answer to every request, until it is destroyed.
class FixedAnswer {
public:
    FixedAnswer(const std::string& status, const std::string& body) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), n) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &n) != 0)
            ADD_FAILURE() << "no loopback port";
        port_ = ntohs(address.sin_port);
        const std::string answer = "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\n" +
                                   "Content-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + body;
        server_ = std::thread([this, answer] {
            while (!done_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                const int client = ::accept(fd_, nullptr, nullptr);
                if (client < 0) continue;
                // A client that stops sending or reading midway would hold the server, and with it
                // the test's end, for good.
                const timeval patience{10, 0};
                ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
                ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
                std::string request;
                char buffer[1024];
                for (ssize_t got; request.find("\r\n\r\n") == std::string::npos &&
                                  (got = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
                    request.append(buffer, std::size_t(got));
                for (std::size_t sent = 0; sent < answer.size();) {
                    const auto wrote =
                        ::send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                    if (wrote <= 0) break;
                    sent += std::size_t(wrote);
                }
                ::close(client);
            }
        });
    }
    ~FixedAnswer() {
        done_ = true;
        server_.join();
        ::close(fd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/image"; }

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::atomic<bool> done_{false};
    std::thread server_;
};
