// A small HTTP server on 127.0.0.1 for the tests: an ephemeral port, one thread, one handler per request.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace k3test {

class HttpServer {
public:
    // The handler gets the connection and the request's target ("/?n=468") and writes the answer.
    using Handler = std::function<void(int fd, const std::string& target)>;

    explicit HttpServer(Handler h) : handler_(std::move(h)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 16) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { loop(); });
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

    static void sendAll(int fd, const std::string& s) {
        size_t off = 0;
        while (off < s.size()) {
            ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
            if (n <= 0) return;
            off += static_cast<size_t>(n);
        }
    }
    static std::string response(int status, const std::string& type, const std::string& body) {
        return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: " + type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }

private:
    void loop() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            std::string req;
            char buf[4096];
            while (req.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                req.append(buf, static_cast<size_t>(n));
            }
            size_t sp1 = req.find(' '), sp2 = req.find(' ', sp1 + 1);
            std::string target = sp1 == std::string::npos ? "" : req.substr(sp1 + 1, sp2 - sp1 - 1);
            {
                std::lock_guard<std::mutex> l(m_);
                targets_.push_back(target);
            }
            handler_(c, target);
            ::close(c);
        }
    }

    Handler handler_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<std::string> targets_;
};

}  // namespace k3test
