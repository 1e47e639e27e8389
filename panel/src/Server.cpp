#include <arpa/inet.h>
#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <regex>
#include <thread>

#include "Assets.h"
#include "Panel.h"
#include "vexar/panel.hpp"

namespace vexar::panel {
namespace {

constexpr std::size_t kMaxBody = 64 * 1024;
// A stream with nothing to tell still sends a comment now and then, so that a reader that went
// away is noticed and its worker freed.
constexpr std::chrono::seconds kKeepAlive{10};

struct Address {
    std::string host;  // as bound: no brackets
    int port = 0;
    bool ipv6 = false;
};

// ADDR:PORT as --listen takes it. Names other than localhost are refused: the Host check
// compares with what was given, and a name another resolver answers differently would undo it.
bool parseListen(const std::string& text, Address& address, std::string& reason) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size()) {
        reason = "expected ADDR:PORT, as in 127.0.0.1:8080";
        return false;
    }
    std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 ||
        std::stoi(port) > 65535) {
        reason = "the port must be a number from 0 to 65535";
        return false;
    }
    address.port = std::stoi(port);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        in6_addr probe{};
        if (inet_pton(AF_INET6, host.c_str(), &probe) != 1) {
            reason = "'" + host + "' is not an IPv6 address";
            return false;
        }
        address.ipv6 = true;
    } else if (host == "localhost") {
        host = "127.0.0.1";
    } else {
        in_addr probe{};
        if (inet_pton(AF_INET, host.c_str(), &probe) != 1) {
            reason = "'" + host + "' is not an IPv4 address, localhost or [IPv6]";
            return false;
        }
    }
    address.host = host;
    return true;
}

bool isLoopback(const Address& address) {
    return address.host == "::1" || address.host.rfind("127.", 0) == 0;
}

bool isWildcard(const Address& address) {
    return address.host == "0.0.0.0" || address.host == "::";
}

std::string hostPort(const std::string& host, bool ipv6, int port) {
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool isIpLiteral(const std::string& host) {
    in_addr v4{};
    in6_addr v6{};
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        return inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &v6) == 1;
    }
    return inet_pton(AF_INET, host.c_str(), &v4) == 1;
}

std::string randomToken() {
    std::random_device device;  // the kernel's random source on Linux
    static constexpr char digits[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 8; ++i) {
        const std::uint32_t word = device();
        for (int shift = 0; shift < 32; shift += 4) token += digits[(word >> shift) & 0xf];
    }
    return token;
}

// Compares without stopping at the first difference, so that the time taken tells nothing.
bool sameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

std::string cookieValue(const httplib::Request& request, const std::string& name) {
    const auto range = request.headers.equal_range("Cookie");
    for (auto it = range.first; it != range.second; ++it) {
        std::string_view rest = it->second;
        while (!rest.empty()) {
            const auto end = rest.find(';');
            std::string_view pair = rest.substr(0, end);
            while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
            if (pair.substr(0, name.size() + 1) == name + "=") {
                return std::string(pair.substr(name.size() + 1));
            }
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
        }
    }
    return "";
}

void sendJson(httplib::Response& response, int status, const Json& body) {
    response.status = status;
    response.set_content(body.dump(2, ' ', false, Json::error_handler_t::replace) + "\n",
                         "application/json");
}

void sendError(httplib::Response& response, const ActionError& failure) {
    sendJson(response, failure.status, failure.body);
}

bool isChanging(const std::string& method) {
    return method != "GET" && method != "HEAD" && method != "OPTIONS";
}

// The part of the path the route captured (a parameter's or an asset's name), else empty.
using Handler =
    std::function<void(const httplib::Request&, httplib::Response&, const std::string&)>;

struct Route {
    std::regex path;
    std::map<std::string, Handler> methods;
};

// The server library listens with a backlog of 5, built into Debian's shared library. When the
// accepting thread falls behind (two cores, 32 clients coming back each time the library ends a
// kept-alive connection), a longer burst overflows the kernel's queue: connections wait for SYN
// retries, and those answered with a SYN cookie are now and then reset. Calling listen again on
// the bound socket raises the backlog of the same socket.
class HttpServer : public httplib::Server {
  public:
    bool widenBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }
};

class Server {
  public:
    Server(Camera& camera, const ServeOptions& options, const Address& address)
        : options_(options), address_(address), panel_(camera, options.maxEventStreams) {
        token_ = options.token.empty() ? randomToken() : options.token;
        http_.new_task_queue = [threads = options.threads] {
            return new httplib::ThreadPool(threads);
        };
        const auto timeout = options.readTimeout;
        http_.set_read_timeout(timeout);
        http_.set_write_timeout(timeout);
        http_.set_keep_alive_timeout(
            std::max<time_t>(1, std::chrono::duration_cast<std::chrono::seconds>(timeout).count()));
        http_.set_payload_max_length(kMaxBody);
        http_.set_default_headers({
            {"Content-Security-Policy",
             "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
             "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
            {"X-Content-Type-Options", "nosniff"},
            {"X-Frame-Options", "DENY"},
            {"Referrer-Policy", "no-referrer"},
            {"Cache-Control", "no-store"},
        });
        http_.set_pre_routing_handler(
            [this](const httplib::Request& request, httplib::Response& response) {
                return admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                                : httplib::Server::HandlerResponse::Handled;
            });
        // Errors the server library answers by itself (a body over the limit, a request it
        // cannot parse) get the JSON body every other error has.
        http_.set_error_handler(httplib::Server::HandlerWithResponse(
            [](const httplib::Request&, httplib::Response& response) {
                if (!response.body.empty() || response.content_length_ > 0) {
                    return httplib::Server::HandlerResponse::Unhandled;
                }
                // Each kind answers its own status: what the library found wrong with the
                // request is bad input, whichever client error it chose.
                const int status = response.status;
                const std::string unread =
                    "the request cannot be read (HTTP status " + std::to_string(status) + ")";
                sendError(response, status == 413   ? failureOf(HttpKind::TooLarge,
                                                                "the body is larger than 64 KiB")
                                    : status == 404 ? failureOf(HttpKind::NotFound, unread)
                                    : status >= 500 ? failureOf(Error(ErrorKind::Internal, unread))
                                                    : failureOf(badInput(unread)));
                return httplib::Server::HandlerResponse::Handled;
            }));
        http_.set_exception_handler(
            [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
                std::string message = "unexpected failure";
                try {
                    std::rethrow_exception(error);
                } catch (const std::exception& e) {
                    message += std::string(": ") + e.what();
                } catch (...) {
                }
                sendError(response, failureOf(Error(ErrorKind::Internal, message)));
            });
        routes();
        const httplib::Server::Handler dispatch = [this](const httplib::Request& request,
                                                         httplib::Response& response) {
            this->dispatch(request, response);
        };
        for (const char* pattern : {".*"}) {
            http_.Get(pattern, dispatch);
            http_.Post(pattern, dispatch);
            http_.Put(pattern, dispatch);
            http_.Patch(pattern, dispatch);
            http_.Delete(pattern, dispatch);
            http_.Options(pattern, dispatch);
        }
    }

    bool bind(std::string& reason) {
        if (address_.ipv6) http_.set_address_family(AF_INET6);
        if (address_.port == 0) {
            const int port = http_.bind_to_any_port(address_.host);
            if (port > 0) address_.port = port;
        } else if (!http_.bind_to_port(address_.host, address_.port)) {
            address_.port = -1;
        }
        if (address_.port <= 0 || !http_.widenBacklog()) {
            reason = std::strerror(errno);
            return false;
        }
        cookie_ = "vexar_panel_" + std::to_string(address_.port);
        return true;
    }

    std::string url() const {
        return "http://" + hostPort(address_.host, address_.ipv6, address_.port) +
               "/?token=" + token_;
    }

    void run() { http_.listen_after_bind(); }
    bool running() const { return http_.is_running(); }

    void poll(const std::atomic<bool>& stopping) {
        while (!stopping) {
            std::unique_lock lock(pollMutex_);
            pollWake_.wait_for(lock, options_.pollInterval, [&] { return stopping.load(); });
            if (stopping) break;
            lock.unlock();
            try {
                panel_.poll();
            } catch (const Error&) {
                // Another process holding the image or the adapter past the lock timeout: the
                // next round looks again.
            }
        }
    }

    void stop() {
        { std::lock_guard lock(pollMutex_); }
        pollWake_.notify_all();
        // The streams end with their closing chunk before the server stops taking requests;
        // a reader that does not take it is not waited for long.
        panel_.events().stop();
        panel_.events().awaitClosed(std::chrono::seconds(2));
        http_.stop();
    }

  private:
    // Host, token and Origin, before a body is read: an unauthorised request costs nothing.
    bool admit(const httplib::Request& request, httplib::Response& response) {
        // Nothing is compressed: on a local link it costs far more than it saves (brotli at the
        // library's quality takes tens of milliseconds a response), and an event must not wait
        // in a compressor. The request is the server's own non-const object, handed on as const.
        const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
        const std::string host = request.get_header_value("Host");
        if (!hostAllowed(host)) {
            sendError(response,
                      failureOf(HttpKind::Forbidden,
                                "Host '" + host + "' is not the address this panel listens on"));
            return false;
        }
        const bool tokenInUrl = request.path == "/" && request.has_param("token") &&
                                sameSecret(request.get_param_value("token"), token_);
        std::string bearer = request.get_header_value("Authorization");
        const bool bearerOk =
            bearer.rfind("Bearer ", 0) == 0 && sameSecret(bearer.substr(7), token_);
        if (!tokenInUrl && !bearerOk && !sameSecret(cookieValue(request, cookie_), token_)) {
            response.set_header("WWW-Authenticate", "Bearer");
            sendError(response, failureOf(HttpKind::Unauthorized,
                                          "the token is missing or wrong: open the URL vexar-ctl "
                                          "serve printed, or send Authorization: Bearer TOKEN"));
            return false;
        }
        if (isChanging(request.method) && request.has_header("Origin") &&
            request.get_header_value("Origin") != "http://" + host) {
            sendError(response,
                      failureOf(HttpKind::Forbidden, "a change from another site (Origin '" +
                                                         request.get_header_value("Origin") +
                                                         "') is refused"));
            return false;
        }
        if (tokenInUrl) {
            response.set_header("Set-Cookie",
                                cookie_ + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
        }
        return true;
    }

    bool hostAllowed(const std::string& host) const {
        const std::string port = ":" + std::to_string(address_.port);
        if (host.size() <= port.size() ||
            host.compare(host.size() - port.size(), port.size(), port) != 0) {
            return false;
        }
        const std::string name = host.substr(0, host.size() - port.size());
        if (isLoopback(address_)) {
            return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
        }
        if (isWildcard(address_)) return isIpLiteral(name);
        return name == (address_.ipv6 ? "[" + address_.host + "]" : address_.host);
    }

    void dispatch(const httplib::Request& request, httplib::Response& response) {
        for (const auto& route : routes_) {
            std::smatch match;
            if (!std::regex_match(request.path, match, route.path)) continue;
            const std::string method = request.method == "HEAD" ? "GET" : request.method;
            const auto handler = route.methods.find(method);
            if (handler == route.methods.end()) {
                std::string allow;
                for (const auto& [name, ignored] : route.methods) {
                    allow += (allow.empty() ? "" : ", ") + name;
                    if (name == "GET") allow += ", HEAD";
                }
                response.set_header("Allow", allow);
                sendError(response, failureOf(HttpKind::MethodNotAllowed,
                                              request.method + " is not served at " + request.path +
                                                  " (Allow: " + allow + ")"));
                return;
            }
            try {
                handler->second(request, response, match.size() > 1 ? match[1].str() : "");
            } catch (const ActionError& e) {
                sendError(response, e);
            } catch (const Error& e) {
                sendError(response, failureOf(e));
            }
            return;
        }
        sendError(response, failureOf(HttpKind::NotFound, "nothing is served at " + request.path));
    }

    static Json body(const httplib::Request& request) { return parseStrict(request.body); }

    void routes() {
        auto add = [this](const std::string& path, std::map<std::string, Handler> methods) {
            routes_.push_back(Route{std::regex(path), std::move(methods)});
        };
        add("/",
            {{"GET", [](auto&, auto& response, auto&) { sendAsset(response, "index.html"); }}});
        add("/(.+\\.(?:js|css|svg))",
            {{"GET", [](const httplib::Request& request, httplib::Response& response,
                        const std::string& name) {
                  if (!sendAsset(response, name)) {
                      sendError(response, failureOf(HttpKind::NotFound,
                                                    "nothing is served at " + request.path));
                  }
              }}});
        add("/api/camera", {{"GET", [this](auto&, auto& response, auto&) {
                                 sendJson(response, 200, panel_.camera());
                             }}});
        add("/api/parameters", {{"GET", [this](auto&, auto& response, auto&) {
                                     sendJson(response, 200, panel_.parameters());
                                 }}});
        add("/api/parameters/([^/]+)",
            {{"GET",
              [this](auto&, httplib::Response& response, const std::string& name) {
                  sendJson(response, 200, panel_.parameter(name));
              }},
             {"PUT", [this](const httplib::Request& request, httplib::Response& response,
                            const std::string& name) {
                  sendJson(response, 200, panel_.set(name, body(request)));
              }}});
        add("/api/fields", {{"GET", [this](auto&, auto& response, auto&) {
                                 sendJson(response, 200, panel_.fields());
                             }}});
        add("/api/timing",
            {{"GET", [this](const httplib::Request& request, httplib::Response& response, auto&) {
                  const std::string format =
                      request.has_param("format") ? request.get_param_value("format") : "json";
                  if (format == "svg") {
                      response.set_content(panel_.timingSvg(), "image/svg+xml");
                  } else if (format == "text") {
                      response.set_content(panel_.timingText(), "text/plain; charset=utf-8");
                  } else if (format == "json") {
                      sendJson(response, 200, panel_.timing());
                  } else {
                      throw badInput("format: json, svg or text, not '" + format + "'");
                  }
              }}});
        add("/api/profile",
            {{"GET",
              [this](auto&, httplib::Response& response, auto&) {
                  response.set_header("Content-Disposition",
                                      "attachment; filename=\"profile.json\"");
                  sendJson(response, 200, panel_.profile());
              }},
             {"PUT", [this](const httplib::Request& request, httplib::Response& response, auto&) {
                  sendJson(response, 200, panel_.applyProfile(request.body));
              }}});
        add("/api/reset", {{"POST", [this](auto&, auto& response, auto&) {
                                sendJson(response, 200, panel_.reset());
                            }}});
        add("/api/calibration",
            {{"GET",
              [this](const httplib::Request& request, httplib::Response& response, auto&) {
                  if (request.has_param("format") &&
                      request.get_param_value("format") == "binary") {
                      const auto bytes = panel_.calibration();
                      response.set_header("Content-Disposition",
                                          "attachment; filename=\"calibration.bin\"");
                      response.set_content(std::string(bytes.begin(), bytes.end()),
                                           "application/octet-stream");
                  } else {
                      response.set_header("Content-Disposition",
                                          "attachment; filename=\"calibration.json\"");
                      sendJson(response, 200, panel_.calibrationJson());
                  }
              }},
             {"PUT", [this](const httplib::Request& request, httplib::Response& response, auto&) {
                  const std::string type = request.get_header_value("Content-Type");
                  const bool binary = type.rfind("application/octet-stream", 0) == 0;
                  sendJson(response, 200, panel_.writeCalibration(request.body, !binary));
              }}});
        add("/api/events", {{"GET", [this](auto&, auto& response, auto&) { events(response); }}});
    }

    static bool sendAsset(httplib::Response& response, const std::string& name) {
        const Asset* asset = findAsset(name);
        if (!asset) return false;
        response.set_content(reinterpret_cast<const char*>(asset->data), asset->size,
                             asset->contentType);
        return true;
    }

    void events(httplib::Response& response) {
        auto stream = panel_.events().open();
        if (!stream) {
            sendError(response, failureOf(HttpKind::Unavailable,
                                          "too many event streams are open (" +
                                              std::to_string(options_.maxEventStreams) + ")"));
            return;
        }
        // Opened before the first event is read, so that no change falls between the two.
        auto first = std::make_shared<std::string>("retry: 1000\n" + panel_.hello());
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, stream, first](std::size_t, httplib::DataSink& sink) {
                std::string event;
                if (!first->empty()) {
                    event.swap(*first);
                } else {
                    switch (panel_.events().next(stream, event, kKeepAlive)) {
                        case EventHub::Next::Ended:
                            sink.done();
                            return true;
                        case EventHub::Next::Idle:
                            event = ": keep-alive\n\n";
                            break;
                        case EventHub::Next::Event:
                            break;
                    }
                }
                return sink.write(event.data(), event.size());
            },
            [this, stream](bool) { panel_.events().close(stream); });
    }

    ServeOptions options_;
    Address address_;
    Panel panel_;
    std::string token_;
    std::string cookie_;
    HttpServer http_;
    std::vector<Route> routes_;
    std::mutex pollMutex_;
    std::condition_variable pollWake_;
};

}  // namespace

void serve(Camera& camera, const ServeOptions& options, std::ostream& out, std::ostream& err) {
    Address address;
    std::string reason;
    if (!parseListen(options.listen, address, reason)) {
        throw Error(ErrorKind::BadInput, "serve: --listen " + options.listen + ": " + reason);
    }

    // Every thread the server starts inherits this mask, so the signals reach only the wait
    // below and never cut a request half-way.
    sigset_t signals, previous;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    struct RestoreMask {
        sigset_t mask;
        ~RestoreMask() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{previous};

    Server server(camera, options, address);
    if (!server.bind(reason)) {
        throw Error(ErrorKind::BadInput,
                    "serve: cannot listen on " + options.listen + ": " + reason);
    }
    if (!isLoopback(address)) {
        err << "serve: warning: listening on " << options.listen
            << ", beyond this computer: whoever can reach it and learns the URL can change the "
               "module\n";
    }
    std::atomic<bool> stopping = false;
    std::thread listener([&] { server.run(); });
    // A stop that came before the server library runs would be lost and leave it listening:
    // the URL, after which a caller may signal at once, waits for it.
    for (int i = 0; i < 5000 && !server.running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    out << server.url() << std::endl;
    std::thread poller;
    if (camera.shared()) poller = std::thread([&] { server.poll(stopping); });

    int received = 0;
    while (received <= 0) {
        const timespec wait{0, 200'000'000};
        received = sigtimedwait(&signals, nullptr, &wait);
        if (received < 0 && errno != EAGAIN && errno != EINTR) break;
    }
    stopping = true;
    server.stop();
    listener.join();
    if (poller.joinable()) poller.join();
    err << "serve: stopped"
        << (received == SIGINT    ? " (interrupt)"
            : received == SIGTERM ? " (terminated)"
                                  : "")
        << "\n";
}

}  // namespace vexar::panel
