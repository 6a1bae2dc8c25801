// A small HTTP server on 127.0.0.1 for the tests: an ephemeral port, one thread, one handler per request.
#pragma once
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace k3test {

class HttpServer {
public:
    // The handler gets the connection and the request target ("/?n=468") and writes the answer.
    explicit HttpServer(std::function<void(int fd, const std::string& target)> h) : handler_(std::move(h)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd_, 16);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                int c = ::accept(fd_, nullptr, nullptr);
                std::string req;
                char buf[4096];
                ssize_t n;
                while (req.find("\r\n\r\n") == std::string::npos && (n = ::recv(c, buf, sizeof buf, 0)) > 0)
                    req.append(buf, static_cast<size_t>(n));
                size_t sp = req.find(' ');
                std::string target = sp == std::string::npos ? "" : req.substr(sp + 1, req.find(' ', sp + 1) - sp - 1);
                {
                    std::lock_guard<std::mutex> l(m_);
                    targets_.push_back(target);
                }
                handler_(c, target);
                ::close(c);
            }
        });
    }
    ~HttpServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> targets() {
        std::lock_guard<std::mutex> l(m_);
        return targets_;
    }

    static void sendAll(int fd, const std::string& s) { (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }
    static std::string response(int status, const std::string& type, const std::string& body) {
        return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: " + type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
    // Serves the same answer to every request.
    static std::function<void(int, const std::string&)> always(int status, const std::string& type,
                                                               const std::string& body) {
        return [=](int fd, const std::string&) { sendAll(fd, response(status, type, body)); };
    }

private:
    std::function<void(int, const std::string&)> handler_;
    int fd_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<std::string> targets_;
};

}  // namespace k3test
