#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: fixed answers per path, one connection at a time,
// every wait bounded.

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class LocalHttpServer {
public:
    struct Answer {
        int status = 200;
        std::string contentType = "application/octet-stream";
        std::vector<std::uint8_t> body;
        // Called before answering; the answer waits (at most 5 s) until it returns true.
        std::function<bool()> holdUntil;
    };

    LocalHttpServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 8) != 0)
            return;
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LocalHttpServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    void route(const std::string& path, Answer answer) {
        std::lock_guard<std::mutex> lock(m_);
        routes_[path] = std::move(answer);
    }
    int requestsServed() const { return served_; }
    bool lastHoldTimedOut() const { return holdTimedOut_; }

private:
    void serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            handle(fd);
            ::close(fd);
        }
    }

    void handle(int fd) {
        std::string request;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        char buf[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 8192 &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return;
            request.append(buf, std::size_t(n));
        }
        const auto start = request.find(' ');
        const auto end = request.find(' ', start + 1);
        const std::string path = start == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
        Answer answer{404, "text/plain", {'n', 'o', 't', ' ', 'f', 'o', 'u', 'n', 'd'}, {}};
        {
            std::lock_guard<std::mutex> lock(m_);
            if (auto it = routes_.find(path); it != routes_.end()) answer = it->second;
        }
        if (answer.holdUntil) {
            const auto holdDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!answer.holdUntil() && std::chrono::steady_clock::now() < holdDeadline && !stop_)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            holdTimedOut_ = !answer.holdUntil();
        }
        std::string head =
            "HTTP/1.1 " + std::to_string(answer.status) + " Answer\r\nContent-Type: " + answer.contentType +
            "\r\nContent-Length: " + std::to_string(answer.body.size()) + "\r\nConnection: close\r\n\r\n";
        std::string all = head + std::string(answer.body.begin(), answer.body.end());
        for (std::size_t sent = 0; sent < all.size();) {
            const ssize_t n = ::send(fd, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += std::size_t(n);
        }
        ++served_;
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> served_{0};
    std::atomic<bool> holdTimedOut_{false};
    std::mutex m_;
    std::map<std::string, Answer> routes_;
    std::thread thread_;
};
