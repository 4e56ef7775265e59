#include "loadrunner.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace bench {

namespace {

constexpr int64_t kRetryMicros = 2000; // after the server's queue was full
constexpr int64_t kAfterFailureMicros = 10000;
constexpr size_t kMaxReply = 1 << 20;
constexpr long kGiveUpFailures = 20; // ... when there are more of them than replies

int64_t NowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

enum class State { Idle, Backoff, Connecting, Sending, Receiving };
enum class Phase { Warmup, Measure, Drain };

struct Connection {
    int fd = -1;
    State state = State::Idle;
    Request request;
    size_t piece = 0, offset = 0;
    std::string in;
    int64_t started = 0, deadline = 0, retryAt = 0;
    bool answeredOnce = false;
};

class Runner {
public:
    Runner(const Target& target, const Object& object, const LoadOptions& options)
        : target_(target), object_(object), options_(options), connections_(options.connections) {}
    ~Runner() {
        for (Connection& c : connections_) Close(c);
    }

    LoadResult Run() {
        const int64_t start = NowMicros();
        const int64_t limit = static_cast<int64_t>(options_.maxSeconds * 1e6);
        const int64_t window = static_cast<int64_t>(options_.seconds * 1e6);
        int64_t t0 = 0, drainEnd = 0;
        for (Connection& c : connections_) Begin(c, start);
        for (;;) {
            const int64_t now = NowMicros();
            if (phase_ == Phase::Warmup && (AllAnswered() || now - start > limit)) {
                phase_ = Phase::Measure;
                t0 = now;
            }
            if (phase_ == Phase::Measure && ((now - t0 >= window && result_.replies >= options_.minReplies) ||
                                             now - t0 >= limit || GivingUp())) {
                phase_ = Phase::Drain;
                result_.windowSeconds = (now - t0) / 1e6;
                drainEnd = now + static_cast<int64_t>(options_.requestTimeoutSeconds) * 1000000;
            }
            if (phase_ != Phase::Measure && GivingUp()) break;
            if (phase_ == Phase::Drain && (AllIdle() || now > drainEnd)) break;
            Step(now);
        }
        return result_;
    }

private:
    bool AllAnswered() const {
        return std::all_of(connections_.begin(), connections_.end(),
                           [](const Connection& c) { return c.answeredOnce; });
    }
    bool AllIdle() const {
        return std::all_of(connections_.begin(), connections_.end(), [](const Connection& c) {
            return c.state == State::Idle || c.state == State::Backoff;
        });
    }
    bool GivingUp() const { return result_.failures >= kGiveUpFailures && result_.failures > totalReplies_; }

    // One wait for the sockets and the handling of what they say.
    void Step(int64_t now) {
        int64_t next = now + 50000;
        std::vector<pollfd> set;
        std::vector<Connection*> owners;
        for (Connection& c : connections_) {
            if (c.state == State::Backoff) {
                if (phase_ == Phase::Drain) {
                    c.state = State::Idle;
                } else if (c.retryAt <= now) {
                    Begin(c, now);
                } else {
                    next = std::min(next, c.retryAt);
                }
            }
            if (c.state == State::Connecting || c.state == State::Sending || c.state == State::Receiving) {
                if (c.deadline <= now) {
                    Fail(c, "no reply within " + std::to_string(options_.requestTimeoutSeconds) + " s", now);
                    continue;
                }
                next = std::min(next, c.deadline);
                short events = c.state == State::Connecting ? POLLOUT
                               : c.state == State::Sending  ? POLLOUT | POLLIN
                                                            : POLLIN;
                set.push_back({c.fd, events, 0});
                owners.push_back(&c);
            }
        }
        const int timeout = static_cast<int>(std::max<int64_t>(0, (next - now + 999) / 1000));
        const int r = poll(set.data(), set.size(), timeout);
        if (r <= 0) return;
        now = NowMicros();
        for (size_t i = 0; i < set.size(); ++i) {
            Connection& c = *owners[i];
            const short ev = set[i].revents;
            if (ev == 0) continue;
            if (c.state == State::Connecting) {
                const int error = ConnectError(c.fd);
                if (error != 0) {
                    Fail(c, std::string("connect: ") + strerror(error), now);
                    continue;
                }
                c.state = State::Sending;
            }
            if (c.state == State::Sending && (ev & POLLIN)) Read(c, now);
            if (c.state == State::Sending && (ev & (POLLOUT | POLLERR | POLLHUP))) Write(c, now);
            if (c.state == State::Receiving && (ev & (POLLIN | POLLERR | POLLHUP))) Read(c, now);
        }
    }

    // Starts a request on c: a connection first when it has none.
    void Begin(Connection& c, int64_t now) {
        if (c.state != State::Backoff || c.started == 0) c.started = now;
        c.request.Clear();
        c.in.clear();
        c.piece = c.offset = 0;
        if (c.fd < 0) {
            bool pending = false;
            c.fd = StartConnect(target_.address, &pending);
            if (c.fd < 0) {
                if (errno == EAGAIN) {
                    c.state = State::Backoff;
                    c.retryAt = now + kRetryMicros;
                } else {
                    Fail(c, std::string("connect: ") + strerror(errno), now);
                }
                return;
            }
            if (options_.persistent) {
                const std::string opener = SessionOpener(target_.protocol);
                if (!opener.empty()) c.request.Own(opener);
            }
            c.state = pending ? State::Connecting : State::Sending;
        } else {
            c.state = State::Sending;
        }
        c.deadline = c.started + static_cast<int64_t>(options_.requestTimeoutSeconds) * 1000000;
        BuildRequest(target_.protocol, object_, target_.byPath, &c.request);
    }

    void Write(Connection& c, int64_t now) {
        const auto& pieces = c.request.Pieces();
        while (c.piece < pieces.size()) {
            iovec parts[64];
            int count = 0;
            for (size_t i = c.piece; i < pieces.size() && count < 64; ++i, ++count) {
                const size_t skip = i == c.piece ? c.offset : 0;
                parts[count].iov_base = const_cast<char*>(pieces[i].first) + skip;
                parts[count].iov_len = pieces[i].second - skip;
            }
            msghdr message{};
            message.msg_iov = parts;
            message.msg_iovlen = static_cast<size_t>(count);
            ssize_t n = sendmsg(c.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return;
            if (n < 0) {
                Fail(c, std::string("send: ") + strerror(errno), now);
                return;
            }
            while (n > 0) {
                const size_t left = pieces[c.piece].second - c.offset;
                if (static_cast<size_t>(n) < left) {
                    c.offset += static_cast<size_t>(n);
                    n = 0;
                } else {
                    n -= static_cast<ssize_t>(left);
                    ++c.piece;
                    c.offset = 0;
                }
            }
        }
        c.state = State::Receiving;
    }

    void Read(Connection& c, int64_t now) {
        char buffer[65536];
        bool closed = false;
        for (;;) {
            const ssize_t n = read(c.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            if (n < 0) {
                Fail(c, std::string("read: ") + strerror(errno), now);
                return;
            }
            if (n == 0) {
                closed = true;
                break;
            }
            c.in.append(buffer, static_cast<size_t>(n));
            if (c.in.size() > kMaxReply) {
                Fail(c, "reply too long", now);
                return;
            }
        }
        std::string text;
        const Verdict verdict = ReadReply(target_.protocol, object_, c.in, &text);
        if (verdict == Verdict::Incomplete) {
            if (closed) Fail(c, "connection closed by the server before a whole reply", now);
            return;
        }
        if (c.state == State::Sending) {
            Fail(c, "answered before the request was sent: " + text, now);
            return;
        }
        // The server may close after its reply: the next request then needs a new connection.
        if (closed) Close(c);
        Finish(c, verdict, text, now);
    }

    void Finish(Connection& c, Verdict verdict, const std::string& text, int64_t now) {
        ++totalReplies_;
        if (verdict != (object_.infected ? Verdict::Infected : Verdict::Clean)) {
            ++result_.wrongVerdicts;
            Note("unexpected reply: " + text);
        }
        if (phase_ == Phase::Measure) {
            ++result_.replies;
            result_.latencyMs.push_back((now - c.started) / 1000.0);
        }
        c.answeredOnce = true;
        c.started = 0;
        if (!options_.persistent) Close(c);
        c.state = State::Idle;
        if (phase_ != Phase::Drain) Begin(c, now);
    }

    void Fail(Connection& c, const std::string& why, int64_t now) {
        ++result_.failures;
        Note(why);
        Close(c);
        c.answeredOnce = true;
        c.started = 0;
        c.state = phase_ == Phase::Drain ? State::Idle : State::Backoff;
        c.retryAt = now + kAfterFailureMicros;
    }

    void Note(const std::string& problem) {
        if (result_.firstProblem.empty()) result_.firstProblem = problem;
    }

    static void Close(Connection& c) {
        if (c.fd >= 0) close(c.fd);
        c.fd = -1;
    }

    const Target& target_;
    const Object& object_;
    const LoadOptions& options_;
    std::vector<Connection> connections_;
    Phase phase_ = Phase::Warmup;
    LoadResult result_;
    long totalReplies_ = 0;
};

} // namespace

LoadResult RunLoad(const Target& target, const Object& object, const LoadOptions& options) {
    return Runner(target, object, options).Run();
}

} // namespace bench
