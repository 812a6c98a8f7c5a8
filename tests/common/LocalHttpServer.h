#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: a fixed answer per path (404 for others), one
// connection at a time, every wait bounded.

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

class LocalHttpServer {
public:
    struct Answer {
        int status;
        std::string contentType, body;
    };

    explicit LocalHttpServer(std::map<std::string, Answer> routes) : routes_(std::move(routes)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(listener_, 8) != 0)
            return;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] {
            for (pollfd p{listener_, POLLIN, 0}; !stop_;)
                if (::poll(&p, 1, 50) > 0)
                    if (const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC); fd >= 0) {
                        answer(fd);
                        ::close(fd);
                    }
        });
    }
    ~LocalHttpServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requestsServed() const { return served_; }

private:
    void answer(int fd) {
        std::string request;
        char buf[1024];
        for (pollfd p{fd, POLLIN, 0};
             request.find("\r\n\r\n") == std::string::npos && ::poll(&p, 1, 2000) > 0;) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return;
            request.append(buf, std::size_t(n));
        }
        const auto start = request.find(' ') + 1;
        const auto it = routes_.find(request.substr(start, request.find(' ', start) - start));
        const Answer a = it == routes_.end() ? Answer{404, "text/plain", "not found"} : it->second;
        const std::string all =
            "HTTP/1.1 " + std::to_string(a.status) + " Answer\r\nContent-Type: " + a.contentType +
            "\r\nContent-Length: " + std::to_string(a.body.size()) + "\r\nConnection: close\r\n\r\n" + a.body;
        for (std::size_t sent = 0; sent < all.size();) {
            const ssize_t n = ::send(fd, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += std::size_t(n);
        }
        ++served_;
    }

    const std::map<std::string, Answer> routes_;
    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> served_{0};
    std::thread thread_;
};
