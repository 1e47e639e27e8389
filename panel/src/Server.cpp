#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <charconv>
// Before Beast's headers: its string views are then the standard's, which the rest speaks.
#define BOOST_BEAST_USE_STD_STRING_VIEW
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cerrno>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <thread>

#include "Assets.h"
#include "Panel.h"
#include "vexar/panel.hpp"

namespace vexar::panel {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

// The request line and the headers together, and the body however it is framed.
constexpr std::size_t kMaxHead = 16 * 1024;
constexpr std::size_t kMaxBody = 64 * 1024;
// Each open connection holds its buffers; beyond this many a new one is closed at once, so
// that a client opening thousands cannot make the panel hold thousands.
constexpr std::size_t kMaxConnections = 512;
// A stream with nothing to tell still sends a comment now and then, as proxies expect.
constexpr std::chrono::seconds kKeepAlive{10};
// After a refusal while the client may still be sending, what it sends is read and dropped for
// this long: closing with unread bytes would reset the connection, and the client would lose
// the answer before reading it.
constexpr std::chrono::seconds kLinger{1};

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

// A request as the handlers see it: the decoded path and query beside the message itself.
struct Request {
    std::string path;
    std::vector<std::pair<std::string, std::string>> query;
    http::request<http::string_body> message;

    const std::string* param(std::string_view name) const {
        for (const auto& [key, value] : query) {
            if (key == name) return &value;
        }
        return nullptr;
    }
};

// An open event stream's place in the hub, given back with its last holder, however the
// connection ends.
class Slot {
  public:
    Slot(EventHub& hub, std::shared_ptr<EventHub::Stream> stream)
        : hub_(hub), stream_(std::move(stream)) {}
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { hub_.close(stream_); }
    EventHub& hub() const { return hub_; }
    const std::shared_ptr<EventHub::Stream>& stream() const { return stream_; }

  private:
    EventHub& hub_;
    std::shared_ptr<EventHub::Stream> stream_;
};

struct Reply {
    http::response<http::string_body> message{http::status::ok, 11};
    // Set: the answer is this event stream, and the body its first event.
    std::unique_ptr<Slot> slot;
};

std::string cookieValue(const http::fields& headers, const std::string& name) {
    const auto range = headers.equal_range(http::field::cookie);
    for (auto it = range.first; it != range.second; ++it) {
        std::string_view rest = it->value();
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

void setContent(Reply& reply, int status, std::string body, std::string_view type) {
    reply.message.result(static_cast<unsigned>(status));
    reply.message.set(http::field::content_type, type);
    reply.message.body() = std::move(body);
}

void sendJson(Reply& reply, int status, const Json& body) {
    setContent(reply, status, body.dump(2, ' ', false, Json::error_handler_t::replace) + "\n",
               "application/json");
}

constexpr std::string_view kNewAddressPage =
    "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>vexar-ctl panel: "
    "address changed</title></head><body><h1>This panel's address no longer works</h1><p>The "
    "panel was restarted, or this tab was opened without its address. Each start of "
    "<code>vexar-ctl serve</code> makes a new token: open the URL it printed on its first line "
    "(<code>http://ADDRESS/?token=...</code>).</p></body></html>\n";

void sendError(Reply& reply, const ActionError& failure) {
    sendJson(reply, failure.status, failure.body);
}

bool isChanging(std::string_view method) {
    return method != "GET" && method != "HEAD" && method != "OPTIONS";
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// False when a '%' is not followed by two hexadecimal digits.
bool percentDecode(std::string_view text, bool plusIsSpace, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size()) return false;
            const int high = hexDigit(text[i + 1]);
            const int low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0) return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += plusIsSpace && text[i] == '+' ? ' ' : text[i];
        }
    }
    return true;
}

// Fills the request's path and query from the target; the failure to answer when it cannot.
std::optional<ActionError> readTarget(std::string_view target, Request& request) {
    const auto mark = target.find('?');
    const std::string_view path = target.substr(0, mark);
    if (path.empty() || path.front() != '/' || !percentDecode(path, false, request.path)) {
        request.path.clear();
        return failureOf(badInput("the request target is not a path with %XX escapes: '" +
                                  std::string(target) + "'"));
    }
    // No name the panel serves holds one, and one passed on would cut a C string short.
    if (std::any_of(request.path.begin(), request.path.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        return failureOf(HttpKind::NotFound, "nothing is served at " + std::string(path) +
                                                 ": a name holds a control character");
    }
    std::string_view rest = mark == std::string_view::npos ? "" : target.substr(mark + 1);
    while (!rest.empty()) {
        const auto end = rest.find('&');
        const std::string_view pair = rest.substr(0, end);
        const auto equals = pair.find('=');
        std::string key, value;
        if (!percentDecode(pair.substr(0, equals), true, key) ||
            (equals != std::string_view::npos &&
             !percentDecode(pair.substr(equals + 1), true, value))) {
            return failureOf(
                badInput("the query has an escape that is not %XX: '" + std::string(pair) + "'"));
        }
        if (!key.empty()) request.query.emplace_back(std::move(key), std::move(value));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return std::nullopt;
}

// The part of the path the route captured (a parameter's or an asset's name), else empty.
using Handler = std::function<void(const Request&, Reply&, const std::string&)>;

struct Method {
    Handler handler;
    // Refused with 411 when the request gives no body length and is not chunked.
    bool needsBody = false;
};

struct Route {
    enum class Match { Exact, Segment, Asset } match;
    std::string path;  // the whole path, or what comes before the segment
    std::map<std::string, Method, std::less<>> methods;

    std::optional<std::string> capture(const std::string& target) const {
        switch (match) {
            case Match::Exact:
                if (target == path) return std::string();
                break;
            case Match::Segment:
                if (target.size() > path.size() && target.starts_with(path) &&
                    target.find('/', path.size()) == std::string::npos) {
                    return target.substr(path.size());
                }
                break;
            case Match::Asset:
                for (const std::string_view suffix : {".js", ".css", ".svg"}) {
                    if (target.size() > suffix.size() + 1 && target.ends_with(suffix)) {
                        return target.substr(1);
                    }
                }
                break;
        }
        return std::nullopt;
    }
};

struct Found {
    const Method* method = nullptr;
    std::string capture;
};

class Session;

class Server {
  public:
    Server(Camera& camera, const ServeOptions& options, const Address& address)
        : options_(options),
          address_(address),
          panel_(camera, options.maxEventStreams, options.lockTimeout, options.restore),
          acceptor_(io_),
          retry_(io_),
          work_(net::make_work_guard(io_)),
          workers_(std::max<std::size_t>(1, options.threads)) {
        token_ = options.token.empty() ? randomToken() : options.token;
        routes();
    }

    bool bind(std::string& reason) {
        beast::error_code ec;
        const tcp::endpoint endpoint(net::ip::make_address(address_.host, ec),
                                     static_cast<unsigned short>(address_.port));
        if (!ec) acceptor_.open(endpoint.protocol(), ec);
        if (!ec) acceptor_.set_option(net::socket_base::reuse_address(true), ec);
        if (!ec) acceptor_.bind(endpoint, ec);
        // The system's backlog, so that a burst of connections waits in the kernel's queue
        // while the server is busy instead of being dropped or reset.
        if (!ec) acceptor_.listen(net::socket_base::max_listen_connections, ec);
        if (ec) {
            reason = ec.message();
            return false;
        }
        address_.port = acceptor_.local_endpoint().port();
        cookie_ = "vexar_panel_" + std::to_string(address_.port);
        accept();
        return true;
    }

    std::string url() const {
        return "http://" + hostPort(address_.host, address_.ipv6, address_.port) +
               "/?token=" + token_;
    }

    // All socket I/O runs here; handlers run on the workers. What fails in one connection
    // (memory, most likely) ends that one alone.
    void run() {
        for (;;) {
            try {
                io_.run();
                return;
            } catch (const std::exception&) {
            }
        }
    }

    // A look at the module every poll interval; between them, every quarter of it, a glance
    // at the adapter's node alone, so that one unplugged or back is told within the interval.
    void poll(const std::atomic<bool>& stopping) {
        auto due = std::chrono::steady_clock::now() + options_.pollInterval;
        while (!stopping) {
            std::unique_lock lock(pollMutex_);
            pollWake_.wait_for(lock, options_.pollInterval / 4, [&] { return stopping.load(); });
            if (stopping) break;
            lock.unlock();
            const bool look = std::chrono::steady_clock::now() >= due;
            if (look) due = std::chrono::steady_clock::now() + options_.pollInterval;
            try {
                panel_.poll(look);
            } catch (const Error&) {
                // Another process holding the image or the adapter past the lock timeout: the
                // next round looks again.
            }
        }
    }

    void stop();

    bool stopping() const { return stopping_; }
    std::chrono::milliseconds deadline() const { return options_.requestDeadline; }
    net::thread_pool& workers() { return workers_; }

    // Everything known once the head has arrived: Host, token, Origin, the body's framing and
    // the route. False with the refusal in the reply; the body has not been read.
    bool admit(const http::request<http::string_body>& head, Request& request, Found& found,
               Reply& reply);

    // Runs the handler on a worker thread.
    void respond(const Request& request, const Found& found, Reply& reply) const;

    template <typename Body>
    void finish(http::response<Body>& head, unsigned version, bool keepAlive) const;

    std::list<std::weak_ptr<Session>>::iterator track(const std::shared_ptr<Session>& session) {
        std::lock_guard lock(sessionsMutex_);
        return sessions_.insert(sessions_.end(), session);
    }
    void untrack(std::list<std::weak_ptr<Session>>::iterator place) {
        std::lock_guard lock(sessionsMutex_);
        sessions_.erase(place);
    }

  private:
    void accept();
    bool hostAllowed(const std::string& host) const;
    void routes();
    void events(Reply& reply);

    ServeOptions options_;
    Address address_;
    Panel panel_;
    std::string token_;
    std::string cookie_;
    std::vector<Route> routes_;
    std::mutex pollMutex_;
    std::condition_variable pollWake_;
    std::atomic<bool> stopping_ = false;
    std::mutex sessionsMutex_;
    std::list<std::weak_ptr<Session>> sessions_;
    // Declared after the panel: what they still hold when destroyed refers to it.
    net::io_context io_;
    tcp::acceptor acceptor_;
    net::steady_timer retry_;
    net::executor_work_guard<net::io_context::executor_type> work_;
    net::thread_pool workers_;
};

// One connection, on its own strand: it reads a request under one deadline for the whole of
// it, has it answered on a worker, writes the answer, and waits for the next. While it waits
// it holds no thread, so that a client sending a byte now and then costs a socket and its
// buffers, nothing more.
class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(Server& server, tcp::socket socket)
        : server_(server),
          executor_(socket.get_executor()),
          stream_(std::move(socket)),
          idle_(executor_) {}
    ~Session() { server_.untrack(place_); }

    void start(std::list<std::weak_ptr<Session>>::iterator place) {
        place_ = place;
        net::dispatch(executor_, [self = shared_from_this()] { self->readHead(); });
    }

    // At shutdown: a request still arriving is not waited for; one being answered is finished.
    void shutdown() {
        net::post(executor_, [self = shared_from_this()] {
            if (self->state_ == State::Reading) self->close();
        });
    }

  private:
    enum class State { Reading, Handling, Writing, Streaming, Closing, Closed };

    void readHead() {
        if (server_.stopping()) return close();
        state_ = State::Reading;
        request_ = Request{};
        reply_ = Reply{};
        version_ = 11;
        keepAlive_ = false;
        parser_.emplace();
        parser_->header_limit(kMaxHead);
        parser_->body_limit(kMaxBody);
        // Once, for the head and the body together: a request must arrive whole in time,
        // whatever the pace of its bytes.
        stream_.expires_after(server_.deadline());
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onHead(ec); });
    }

    void onHead(beast::error_code ec) {
        if (ec) return refuseUnread(ec);
        const auto& head = parser_->get();
        version_ = head.version();
        keepAlive_ = head.keep_alive();
        isHead_ = head.method() == http::verb::head;
        if (!server_.admit(head, request_, found_, reply_)) return answer(!parser_->is_done());
        if (parser_->is_done()) return handle();
        if (beast::iequals(head[http::field::expect], "100-continue")) {
            static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            return net::async_write(
                stream_, net::buffer(kContinue.data(), kContinue.size()),
                [self = shared_from_this()](beast::error_code error, std::size_t) {
                    if (error) return self->close();
                    self->readBody();
                });
        }
        readBody();
    }

    void readBody() {
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             if (ec) return self->refuseUnread(ec);
                             self->handle();
                         });
    }

    // A request that could not be read whole: answered when it was the client's fault, then
    // closed, since what follows in the connection cannot be trusted to begin a request.
    void refuseUnread(beast::error_code ec) {
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
            sendError(reply_, failureOf(HttpKind::HeadTooLarge,
                                        "the request line and headers are larger than 16 KiB"));
        } else if (ec == http::error::body_limit) {
            sendError(reply_, failureOf(HttpKind::TooLarge, "the body is larger than 64 KiB"));
        } else if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
                   ec != http::error::end_of_stream && ec != http::error::partial_message) {
            sendError(reply_, failureOf(badInput("the request cannot be read: " + ec.message())));
        } else {
            // Gone, reset, or past the deadline (the stream has closed the socket then).
            return close();
        }
        answer(true);
    }

    void handle() {
        state_ = State::Handling;
        // The handler may wait for the camera's lock; the deadline is the client's, not ours.
        stream_.expires_never();
        request_.message = parser_->release();
        net::post(server_.workers(), [self = shared_from_this()] {
            self->server_.respond(self->request_, self->found_, self->reply_);
            net::post(self->executor_, [self] { self->answer(false); });
        });
    }

    // Writes the reply; `unread`: a part of the request was not read, so the connection ends.
    // A client that has already sent its FIN still gets the answer: only the next read sees
    // the end.
    void answer(bool unread) {
        if (reply_.slot && !isHead_) return startStream();
        reply_.slot.reset();
        auto& message = reply_.message;
        const bool close = unread || !keepAlive_ || server_.stopping();
        server_.finish(message, version_, !close);
        const auto size = message.body().size();
        if (isHead_) {
            message.body().clear();
            message.content_length(size);
        } else {
            message.prepare_payload();
        }
        state_ = State::Writing;
        stream_.expires_after(server_.deadline());
        http::async_write(stream_, message,
                          [self = shared_from_this(), close](beast::error_code ec, std::size_t) {
                              if (ec) return self->close();
                              if (close) return self->linger();
                              self->readHead();
                          });
    }

    void linger() {
        state_ = State::Closing;
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(kLinger);
        drain();
    }

    // Reads and drops what comes until the connection ends or the deadline set before.
    void drain() {
        buffer_.clear();
        stream_.async_read_some(buffer_.prepare(4096),
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    if (ec) return self->close();
                                    self->drain();
                                });
    }

    // A reader that goes away is seen at once, by the end of this read, and its slot freed.
    // Without a deadline: only a write under way has one.
    void watch() {
        stream_.expires_never();
        buffer_.clear();
        stream_.async_read_some(buffer_.prepare(512),
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    if (ec) return self->close();
                                    self->watch();
                                });
    }

    void close() {
        if (state_ == State::Closed) return;
        state_ = State::Closed;
        idle_.cancel();
        slot_.reset();
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    void startStream() {
        state_ = State::Streaming;
        slot_ = std::move(reply_.slot);
        chunk_ = std::move(reply_.message.body());
        slot_->hub().onChange(slot_->stream(), [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                net::post(self->executor_, [self] { self->pump(); });
            }
        });
        auto& head = streamHead_.emplace(http::status::ok, version_);
        server_.finish(head, version_, false);
        head.set(http::field::content_type, "text/event-stream");
        head.chunked(true);
        watch();
        writing_ = true;
        stream_.expires_after(server_.deadline());
        serializer_.emplace(head);
        http::async_write_header(
            stream_, *serializer_,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->written(ec); });
    }

    void written(beast::error_code ec) {
        writing_ = false;
        if (ec) return close();
        idle_.expires_after(kKeepAlive);
        idle_.async_wait([self = shared_from_this()](beast::error_code error) {
            if (error || self->writing_ || self->state_ != State::Streaming) return;
            self->chunk_ = ": keep-alive\n\n";
            self->pump();
        });
        pump();
    }

    void pump() {
        if (writing_ || state_ != State::Streaming) return;
        if (chunk_.empty()) {
            switch (slot_->hub().next(slot_->stream(), chunk_, std::chrono::milliseconds(0))) {
                case EventHub::Next::Idle:
                    return;
                case EventHub::Next::Ended:
                    writing_ = true;
                    stream_.expires_after(server_.deadline());
                    return net::async_write(stream_, http::make_chunk_last(),
                                            [self = shared_from_this()](
                                                beast::error_code, std::size_t) { self->close(); });
                case EventHub::Next::Event:
                    break;
            }
        }
        writing_ = true;
        stream_.expires_after(server_.deadline());
        net::async_write(stream_, http::make_chunk(net::buffer(chunk_)),
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             self->chunk_.clear();
                             self->written(ec);
                         });
    }

    Server& server_;
    const net::any_io_executor executor_;
    beast::tcp_stream stream_;
    // Room for a whole head and a little more; a head that does not fit is refused anyway.
    beast::flat_buffer buffer_{kMaxHead + 4096};
    std::optional<http::request_parser<http::string_body>> parser_;
    std::list<std::weak_ptr<Session>>::iterator place_;
    State state_ = State::Reading;
    unsigned version_ = 11;
    bool keepAlive_ = false;
    bool isHead_ = false;
    Request request_;
    Found found_;
    Reply reply_;
    // The event stream, once the answer is one.
    std::unique_ptr<Slot> slot_;
    std::optional<http::response<http::empty_body>> streamHead_;
    std::optional<http::response_serializer<http::empty_body>> serializer_;
    std::string chunk_;
    bool writing_ = false;
    net::steady_timer idle_;
};

void Server::accept() {
    acceptor_.async_accept(net::make_strand(io_), [this](beast::error_code ec, tcp::socket socket) {
        if (!acceptor_.is_open()) return;
        if (ec) {
            // Out of descriptors, most likely: try again shortly rather than spin.
            retry_.expires_after(std::chrono::milliseconds(50));
            retry_.async_wait([this](beast::error_code error) {
                if (!error) accept();
            });
            return;
        }
        std::size_t open;
        {
            std::lock_guard lock(sessionsMutex_);
            open = sessions_.size();
        }
        if (open < kMaxConnections) {
            auto session = std::make_shared<Session>(*this, std::move(socket));
            session->start(track(session));
        }
        accept();
    });
}

void Server::stop() {
    stopping_ = true;
    { std::lock_guard lock(pollMutex_); }
    pollWake_.notify_all();
    net::post(io_, [this] {
        beast::error_code ignored;
        acceptor_.close(ignored);
        retry_.cancel();
    });
    // The streams end with their closing chunk first; a reader that does not take it is not
    // waited for long.
    panel_.events().stop();
    panel_.events().awaitClosed(std::chrono::seconds(2));
    std::vector<std::shared_ptr<Session>> open;
    {
        std::lock_guard lock(sessionsMutex_);
        for (const auto& weak : sessions_) {
            if (auto session = weak.lock()) open.push_back(std::move(session));
        }
    }
    for (const auto& session : open) session->shutdown();
    open.clear();
    // Running requests finish and their answers are written; then the I/O thread runs out of
    // work and returns.
    workers_.join();
    work_.reset();
}

bool Server::admit(const http::request<http::string_body>& head, Request& request, Found& found,
                   Reply& reply) {
    // Two of these would leave it to each reader which one counts, and the checks below would
    // judge one while something else acted on the other.
    for (const auto field : {http::field::host, http::field::origin, http::field::content_length,
                             http::field::transfer_encoding}) {
        if (head.count(field) > 1) {
            sendError(reply,
                      failureOf(badInput("the header " + std::string(http::to_string(field)) +
                                         " is given more than once")));
            return false;
        }
    }
    const std::string host(head[http::field::host]);
    if (!hostAllowed(host)) {
        sendError(reply, failureOf(HttpKind::Forbidden,
                                   "Host '" + host + "' is not the address this panel listens on"));
        return false;
    }
    const auto badTarget = readTarget(head.target(), request);
    const std::string* urlToken = request.path == "/" ? request.param("token") : nullptr;
    const bool tokenInUrl = urlToken && sameSecret(*urlToken, token_);
    const std::string bearer(head[http::field::authorization]);
    const bool bearerOk = bearer.rfind("Bearer ", 0) == 0 && sameSecret(bearer.substr(7), token_);
    if (!tokenInUrl && !bearerOk && !sameSecret(cookieValue(head, cookie_), token_)) {
        reply.message.set(http::field::www_authenticate, "Bearer");
        // A browser reloading a tab of a panel that was restarted gets a page it can show, not
        // the JSON a script reads.
        if (request.path == "/" &&
            head[http::field::accept].find("text/html") != std::string_view::npos) {
            setContent(reply, 401, std::string(kNewAddressPage), "text/html; charset=utf-8");
            return false;
        }
        sendError(reply, failureOf(HttpKind::Unauthorized,
                                   "the token is missing or wrong: open the URL vexar-ctl "
                                   "serve printed, or send Authorization: Bearer TOKEN"));
        return false;
    }
    const std::string_view method = head.method_string();
    const auto origin = head.find(http::field::origin);
    if (isChanging(method) && origin != head.end() && origin->value() != "http://" + host) {
        sendError(reply, failureOf(HttpKind::Forbidden, "a change from another site (Origin '" +
                                                            std::string(origin->value()) +
                                                            "') is refused"));
        return false;
    }
    // The panel announces no compression, and an inflated body would escape the body limit.
    const auto coding = head.find(http::field::content_encoding);
    const auto transfer = head.find(http::field::transfer_encoding);
    if ((coding != head.end() && !beast::iequals(coding->value(), "identity")) ||
        (transfer != head.end() && !beast::iequals(transfer->value(), "chunked"))) {
        sendError(reply, failureOf(HttpKind::UnsupportedEncoding,
                                   "the body must be sent uncompressed, plain or chunked"));
        return false;
    }
    if (badTarget) {
        sendError(reply, *badTarget);
        return false;
    }
    for (const auto& route : routes_) {
        auto capture = route.capture(request.path);
        if (!capture) continue;
        const auto entry = route.methods.find(method == "HEAD" ? std::string_view("GET") : method);
        if (entry == route.methods.end()) {
            std::string allow;
            for (const auto& [name, ignored] : route.methods) {
                allow += (allow.empty() ? "" : ", ") + name;
                if (name == "GET") allow += ", HEAD";
            }
            reply.message.set(http::field::allow, allow);
            sendError(reply, failureOf(HttpKind::MethodNotAllowed,
                                       std::string(method) + " is not served at " + request.path +
                                           " (Allow: " + allow + ")"));
            return false;
        }
        if (entry->second.needsBody && !head.has_content_length() && !head.chunked()) {
            sendError(reply, failureOf(HttpKind::LengthRequired,
                                       std::string(method) + " " + request.path +
                                           " takes a body: send its Content-Length"));
            return false;
        }
        found = Found{&entry->second, std::move(*capture)};
        if (tokenInUrl) {
            reply.message.set(http::field::set_cookie,
                              cookie_ + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
        }
        return true;
    }
    sendError(reply, failureOf(HttpKind::NotFound, "nothing is served at " + request.path));
    return false;
}

void Server::respond(const Request& request, const Found& found, Reply& reply) const {
    try {
        found.method->handler(request, reply, found.capture);
        return;
    } catch (const ActionError& e) {
        sendError(reply, e);
    } catch (const Error& e) {
        sendError(reply, failureOf(e));
    } catch (const std::exception& e) {
        sendError(reply, failureOf(Error(ErrorKind::Internal,
                                         std::string("unexpected failure: ") + e.what())));
    }
    reply.message.erase(http::field::content_disposition);
    reply.slot.reset();
}

template <typename Body>
void Server::finish(http::response<Body>& head, unsigned version, bool keepAlive) const {
    head.set("Content-Security-Policy",
             "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
             "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    head.set("X-Content-Type-Options", "nosniff");
    head.set("X-Frame-Options", "DENY");
    head.set("Referrer-Policy", "no-referrer");
    head.set(http::field::cache_control, "no-store");
    head.version(version);
    head.keep_alive(keepAlive);
}

bool Server::hostAllowed(const std::string& host) const {
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

bool sendAsset(Reply& reply, const std::string& name) {
    const Asset* asset = findAsset(name);
    if (!asset) return false;
    setContent(reply, 200, std::string(reinterpret_cast<const char*>(asset->data), asset->size),
               asset->contentType);
    return true;
}

std::uint64_t previewNumber(const std::string& text) {
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw badInput("preview: a number that a preview answered, not '" + text + "'");
    }
    return number;
}

Json body(const Request& request) {
    return parseStrict(request.message.body());
}

void Server::routes() {
    using Match = Route::Match;
    auto add = [this](Match match, std::string path,
                      std::map<std::string, Method, std::less<>> methods) {
        routes_.push_back(Route{match, std::move(path), std::move(methods)});
    };
    auto bare = [](Handler handler) { return Method{std::move(handler), false}; };
    auto withBody = [](Handler handler) { return Method{std::move(handler), true}; };
    add(Match::Exact, "/",
        {{"GET", bare([](auto&, Reply& reply, auto&) { sendAsset(reply, "index.html"); })}});
    add(Match::Asset, "",
        {{"GET", bare([](const Request& request, Reply& reply, const std::string& name) {
              if (!sendAsset(reply, name)) {
                  sendError(reply,
                            failureOf(HttpKind::NotFound, "nothing is served at " + request.path));
              }
          })}});
    add(Match::Exact, "/api/camera", {{"GET", bare([this](auto&, Reply& reply, auto&) {
                                           sendJson(reply, 200, panel_.camera());
                                       })}});
    add(Match::Exact, "/api/parameters", {{"GET", bare([this](auto&, Reply& reply, auto&) {
                                               sendJson(reply, 200, panel_.parameters());
                                           })}});
    add(Match::Segment, "/api/parameters/",
        {{"GET", bare([this](auto&, Reply& reply, const std::string& name) {
              sendJson(reply, 200, panel_.parameter(name));
          })},
         {"PUT", withBody([this](const Request& request, Reply& reply, const std::string& name) {
              sendJson(reply, 200, panel_.set(name, body(request)));
          })}});
    add(Match::Exact, "/api/fields", {{"GET", bare([this](auto&, Reply& reply, auto&) {
                                           sendJson(reply, 200, panel_.fields());
                                       })}});
    add(Match::Exact, "/api/timing",
        {{"GET", bare([this](const Request& request, Reply& reply, auto&) {
              const std::string* given = request.param("format");
              const std::string format = given ? *given : "json";
              if (format == "svg") {
                  setContent(reply, 200, panel_.timingSvg(), "image/svg+xml");
              } else if (format == "text") {
                  setContent(reply, 200, panel_.timingText(), "text/plain; charset=utf-8");
              } else if (format == "json") {
                  sendJson(reply, 200, panel_.timing());
              } else {
                  throw badInput("format: json, svg or text, not '" + format + "'");
              }
          })}});
    add(Match::Exact, "/api/profile",
        {{"GET", bare([this](auto&, Reply& reply, auto&) {
              reply.message.set(http::field::content_disposition,
                                "attachment; filename=\"profile.json\"");
              sendJson(reply, 200, panel_.profile());
          })},
         {"PUT", withBody([this](const Request& request, Reply& reply, auto&) {
              const std::string* force = request.param("force");
              if (const std::string* preview = request.param("preview")) {
                  if (!request.message.body().empty()) {
                      throw badInput("a previewed profile is written as it was previewed: no body");
                  }
                  sendJson(reply, 200, panel_.applyPreview(previewNumber(*preview)));
                  return;
              }
              sendJson(
                  reply, 200,
                  panel_.applyProfile(request.message.body(), force != nullptr && *force == "1"));
          })}});
    add(Match::Exact, "/api/restore", {{"POST", bare([this](auto&, Reply& reply, auto&) {
                                            sendJson(reply, 200, panel_.restore());
                                        })}});
    // A preset's preview takes ?preset=NAME and no body; either is written by its number.
    add(Match::Exact, "/api/profile/preview",
        {{"POST", withBody([this](const Request& request, Reply& reply, auto&) {
              const std::string* force = request.param("force");
              const std::string* preset = request.param("preset");
              sendJson(reply, 200,
                       panel_.preview(request.message.body(), preset ? *preset : "",
                                      force != nullptr && *force == "1"));
          })}});
    add(Match::Exact, "/api/reset", {{"POST", bare([this](auto&, Reply& reply, auto&) {
                                          sendJson(reply, 200, panel_.reset());
                                      })}});
    add(Match::Exact, "/api/calibration",
        {{"GET", bare([this](const Request& request, Reply& reply, auto&) {
              const std::string* format = request.param("format");
              if (format && *format == "binary") {
                  const auto bytes = panel_.calibration();
                  reply.message.set(http::field::content_disposition,
                                    "attachment; filename=\"calibration.bin\"");
                  setContent(reply, 200, std::string(bytes.begin(), bytes.end()),
                             "application/octet-stream");
              } else {
                  reply.message.set(http::field::content_disposition,
                                    "attachment; filename=\"calibration.json\"");
                  sendJson(reply, 200, panel_.calibrationJson());
              }
          })},
         {"PUT", withBody([this](const Request& request, Reply& reply, auto&) {
              const std::string_view type = request.message[http::field::content_type];
              const bool binary = type.starts_with("application/octet-stream");
              sendJson(reply, 200, panel_.writeCalibration(request.message.body(), !binary));
          })}});
    add(Match::Segment, "/api/registers/",
        {{"PUT", withBody([this](const Request& request, Reply& reply, const std::string& address) {
              sendJson(reply, 200, panel_.writeRegister(address, body(request)));
          })}});
    add(Match::Segment, "/api/fields/",
        {{"PUT", withBody([this](const Request& request, Reply& reply, const std::string& index) {
              sendJson(reply, 200, panel_.writeField(index, body(request)));
          })}});
    add(Match::Exact, "/api/presets", {{"GET", bare([this](auto&, Reply& reply, auto&) {
                                            sendJson(reply, 200, panel_.presets());
                                        })}});
    add(Match::Segment, "/api/presets/",
        {{"GET", bare([this](auto&, Reply& reply, const std::string& name) {
              sendJson(reply, 200, panel_.comparePreset(name));
          })},
         {"PUT", withBody([this](const Request& request, Reply& reply, const std::string& name) {
              if (const Json given = body(request); !given.is_object() || !given.empty()) {
                  throw badInput("the body is {}: the preset is what the module holds now");
              }
              sendJson(reply, 200, panel_.savePreset(name));
          })},
         {"POST", bare([this](const Request& request, Reply& reply, const std::string& name) {
              const std::string* force = request.param("force");
              sendJson(reply, 200, panel_.loadPreset(name, force != nullptr && *force == "1"));
          })},
         {"DELETE", bare([this](auto&, Reply& reply, const std::string& name) {
              sendJson(reply, 200, panel_.removePreset(name));
          })}});
    add(Match::Exact, "/api/events",
        {{"GET", bare([this](auto&, Reply& reply, auto&) { events(reply); })}});
}

void Server::events(Reply& reply) {
    auto stream = panel_.events().open();
    if (!stream) {
        sendError(reply, failureOf(HttpKind::Unavailable,
                                   "too many event streams are open (" +
                                       std::to_string(options_.maxEventStreams) + ")"));
        return;
    }
    // Opened before the first event is read, so that no change falls between the two.
    auto slot = std::make_unique<Slot>(panel_.events(), std::move(stream));
    setContent(reply, 200, "retry: 1000\n" + panel_.hello(), "text/event-stream");
    reply.slot = std::move(slot);
}

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
    // Listening already: a request that comes before this thread runs waits in the backlog.
    std::thread listener([&] { server.run(); });
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
    // A stop asked for twice (timeout(1) signals the program and then its group, a person
    // presses Ctrl-C again) must not kill the program once the mask is restored.
    const timespec now{0, 0};
    while (sigtimedwait(&signals, nullptr, &now) > 0) {
    }
    err << "serve: stopped"
        << (received == SIGINT    ? " (interrupt)"
            : received == SIGTERM ? " (terminated)"
                                  : "")
        << "\n";
}

}  // namespace vexar::panel
