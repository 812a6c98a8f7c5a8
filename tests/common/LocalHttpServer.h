#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: a fixed answer per path (404 for others), one
// connection at a time, every wait bounded.

#include <arpa/inet.h>
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
        sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof addr;
        const timeval wait{0, 100'000}; // accept and recv give up after 0.1 s, so the server can stop
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len);
        ::listen(listener_, 8);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] {
            while (!stop_)
                if (const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC); fd >= 0) answer(fd);
        });
    }
    ~LocalHttpServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requestsServed() const { return served_; }

private:
    void answer(int fd) {
        const timeval patience{5, 0}; // for a request from a client on a busy machine
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        std::string request;
        char buf[1024];
        for (ssize_t n;
             request.find("\r\n\r\n") == std::string::npos && (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
            request.append(buf, std::size_t(n));
        const auto start = request.find(' ') + 1;
        const auto it = routes_.find(request.substr(start, request.find(' ', start) - start));
        const Answer a = it == routes_.end() ? Answer{404, "text/plain", "not found"} : it->second;
        const std::string all =
            "HTTP/1.1 " + std::to_string(a.status) + " Answer\r\nContent-Type: " + a.contentType +
            "\r\nContent-Length: " + std::to_string(a.body.size()) + "\r\nConnection: close\r\n\r\n" + a.body;
        ::send(fd, all.data(), all.size(), MSG_NOSIGNAL); // small answers: one send takes them whole
        ::close(fd);
        ++served_;
    }

    const std::map<std::string, Answer> routes_;
    const int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> served_{0};
    std::thread thread_;
};
