#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: a fixed status and body per path (404 for others),
// one connection at a time.

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

class LocalHttpServer {
public:
    using Routes = std::map<std::string, std::pair<int, std::string>>; // path: status and body

    explicit LocalHttpServer(Routes routes) : routes_(std::move(routes)) {
        sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof addr;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len);
        ::listen(listener_, 8);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] {
            for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ++served_)
                answer(fd);
        });
    }
    ~LocalHttpServer() {
        ::shutdown(listener_, SHUT_RDWR), thread_.join(), ::close(listener_);
    } // ends accept
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requestsServed() const { return served_; }

private:
    void answer(int fd) {
        std::string request;
        char buf[1024];
        for (ssize_t n;
             request.find("\r\n") == std::string::npos && (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
            request.append(buf, std::size_t(n));
        const auto start = request.find(' ') + 1;
        const auto it = routes_.find(request.substr(start, request.find(' ', start) - start));
        const auto& [status, body] = it == routes_.end() ? std::pair<int, std::string>{404, ""} : it->second;
        const std::string all = "HTTP/1.1 " + std::to_string(status) +
                                " Answer\r\nContent-Length: " + std::to_string(body.size()) +
                                "\r\nConnection: close\r\n\r\n" + body;
        ::send(fd, all.data(), all.size(), MSG_NOSIGNAL); // small answers: one send takes them whole
        ::close(fd);
    }

    const Routes routes_;
    const int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::atomic<int> served_{0};
    std::thread thread_;
};
