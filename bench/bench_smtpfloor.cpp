// The least a client can spend on one plain SMTP session: the dialogue the
// program speaks in plain mode, from a blocking socket with no event loop
// and no logging. bench/versus-urlwatch.sh runs it against the mail catcher
// the program has just used, so that the program's CPU per session has a
// floor beside it.
//
//   bench_smtpfloor PORT SESSIONS [--outbox DIR]
//
// Each session connects to 127.0.0.1:PORT and says HELO, MAIL FROM, RCPT TO,
// DATA, the message (a detailed alert of about 300 bytes, in one write) and
// QUIT, then closes without waiting for the reply to QUIT, as the program
// does. With --outbox it also does the file work the program does around a
// session: the message written to DIR/NNNNNNNNN.txt.new and renamed before
// connecting, the file removed once the server has taken the message, and
// one line for the log (DIR/../floor.log) and four status lines
// (DIR/../floor.err) a session.
//
// Prints one line: the sessions, CPU (user and system) and wall time a
// session. Any unexpected reply, end of connection or socket error stops the
// run with exit status 1; no wait lasts longer than 10 s.

#include "mail/CEmail.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace {

constexpr std::string_view Sender = "zorvane@bench.test";
constexpr std::string_view Recipient = "you@bench.test";
constexpr timeval IoTimeout{10, 0};

[[noreturn]] void failWithErrno(const std::string &what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Closes on every way out of a session, the error ones included.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    void close()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            failWithErrno("close");
    }

private:
    int m_fd;
};

void writeAll(int fd, std::string_view bytes, const char *what)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            failWithErrno(std::string("writing ") + what);
        }
        bytes.remove_prefix(size_t(written));
    }
}

void say(int socket, std::string_view command)
{
    while (!command.empty()) {
        const ssize_t sent = ::send(socket, command.data(), command.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            failWithErrno("sending");
        }
        command.remove_prefix(size_t(sent));
    }
}

// Reads one whole reply (the lines "NNN-..." up to the final "NNN ..." or
// "NNN") and checks its code.
void expectReply(int socket, int code, const char *after)
{
    std::array<char, 4096> reply; // only the bytes read are looked at
    size_t held = 0;
    size_t lineStart = 0;
    for (;;) {
        if (held == reply.size())
            throw std::runtime_error(std::string("the reply to ") + after + " is longer than "
                                     + std::to_string(reply.size()) + " bytes");
        const ssize_t got = ::recv(socket, reply.data() + held, reply.size() - held, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                throw std::runtime_error(std::string("no reply to ") + after + " within 10 s");
            failWithErrno(std::string("reading the reply to ") + after);
        }
        if (got == 0)
            throw std::runtime_error(std::string("the server closed the connection instead of replying to ")
                                     + after);
        held += size_t(got);
        const std::string_view text(reply.data(), held);
        for (size_t end; (end = text.find("\r\n", lineStart)) != std::string_view::npos; lineStart = end + 2) {
            const std::string_view line = text.substr(lineStart, end - lineStart);
            int lineCode = 0;
            const auto [digitsEnd, error] = std::from_chars(line.data(), line.data() + std::min<size_t>(3, line.size()),
                                                           lineCode);
            const bool coded = error == std::errc() && digitsEnd == line.data() + 3;
            if (!coded || (line.size() > 3 && line[3] != ' ' && line[3] != '-'))
                throw std::runtime_error(std::string("the reply to ") + after + " is not SMTP: \""
                                         + std::string(line) + "\"");
            if (line.size() > 3 && line[3] == '-')
                continue;
            if (lineCode != code)
                throw std::runtime_error(std::string("the server answered ") + after + " with \"" + std::string(line)
                                         + "\", not " + std::to_string(code));
            return;
        }
    }
}

// The message as the program sends it in plain mode, end of data included;
// composed once, before anything is timed.
std::string messageText()
{
    const QString text = CEmail::MessageText(QString::fromLatin1(Recipient.data(), Recipient.size()),
                                             QString::fromLatin1(Sender.data(), Sender.size()),
                                             QStringLiteral("bench-seller-001 Auction Update"),
                                             QStringLiteral("CHANGES TO ITEM# 3100000017, Brass Desk Lamp - Tested\r\n"
                                                            "PREVIOUS PRICE: $42.00\r\nCURRENT PRICE: $48.50\r\n"
                                                            "High Bidder: lampfan42\r\n"))
        + QStringLiteral("\r\n.\r\n");
    return text.toLatin1().toStdString();
}

// "2026-12-07 02:23:14  ", the stamp the program's lines begin with.
std::string stamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    std::array<char, 32> text{};
    return {text.data(), std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S  ", &parts)};
}

struct Outbox
{
    std::filesystem::path folder;
    int log = -1;
    int status = -1;
};

void status(const Outbox *outbox, const std::string &stampText, std::string_view what)
{
    if (outbox)
        writeAll(outbox->status, stampText + std::string(what) + '\n', "the status lines");
}

void session(const sockaddr_in &server, const std::string &helo, const std::string &message, Outbox *outbox,
             unsigned number)
{
    std::string stampText;
    std::string file;
    if (outbox) {
        stampText = stamp();
        std::array<char, 16> name{};
        std::snprintf(name.data(), name.size(), "%09u.txt", number);
        file = (outbox->folder / name.data()).string();
        const std::string fresh = file + ".new";
        Descriptor written(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (written.get() < 0)
            failWithErrno("opening " + fresh);
        writeAll(written.get(), message, fresh.c_str());
        written.close();
        if (::rename(fresh.c_str(), file.c_str()) != 0)
            failWithErrno("renaming " + fresh);
        status(outbox, stampText, "Connecting to 127.0.0.1 . . .");
    }

    Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        failWithErrno("socket");
    if (::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &IoTimeout, sizeof IoTimeout) != 0
        || ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &IoTimeout, sizeof IoTimeout) != 0)
        failWithErrno("setsockopt");
    if (::connect(socket.get(), reinterpret_cast<const sockaddr *>(&server), sizeof server) != 0)
        failWithErrno("connecting to 127.0.0.1:" + std::to_string(ntohs(server.sin_port)));
    expectReply(socket.get(), 220, "the connection");
    status(outbox, stampText, "Receiving Welcome Message");
    say(socket.get(), helo);
    expectReply(socket.get(), 250, "HELO");
    say(socket.get(), "MAIL FROM:<" + std::string(Sender) + ">\r\n");
    expectReply(socket.get(), 250, "MAIL FROM");
    say(socket.get(), "RCPT TO:<" + std::string(Recipient) + ">\r\n");
    expectReply(socket.get(), 250, "RCPT TO");
    say(socket.get(), "DATA\r\n");
    expectReply(socket.get(), 354, "DATA");
    status(outbox, stampText, "Sending Mail . . .");
    say(socket.get(), message);
    expectReply(socket.get(), 250, "the message");
    say(socket.get(), "QUIT\r\n");
    socket.close();

    if (outbox) {
        status(outbox, stampText, "Message Sent");
        if (::unlink(file.c_str()) != 0)
            failWithErrno("removing " + file);
        writeAll(outbox->log,
                 stampText + "Mail to " + std::string(Recipient)
                     + " sent for bench-seller-001 (auction 3100000017, a new bid): 250 OK\n",
                 "the log");
    }
}

bool wholeNumber(const char *text, unsigned low, unsigned high, unsigned &value)
{
    const std::string_view digits(text);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() && value >= low && value <= high;
}

double microseconds(const timeval &time)
{
    return double(time.tv_sec) * 1e6 + double(time.tv_usec);
}

int openLine(const std::filesystem::path &path, int mode)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0644);
    if (fd < 0)
        failWithErrno("opening " + path.string());
    return fd;
}

} // namespace

int main(int argc, char *argv[])
{
    unsigned port = 0;
    unsigned sessions = 0;
    const bool withOutbox = argc == 5 && std::string_view(argv[3]) == "--outbox";
    if ((argc != 3 && !withOutbox) || !wholeNumber(argv[1], 1, 65535, port)
        || !wholeNumber(argv[2], 1, 999999999, sessions)) {
        std::fprintf(stderr, "usage: bench_smtpfloor PORT SESSIONS [--outbox DIR]\n"
                             "  PORT from 1 to 65535, SESSIONS from 1\n");
        return 2;
    }

    try {
        std::array<char, 256> host{};
        if (::gethostname(host.data(), host.size() - 1) != 0)
            failWithErrno("gethostname");
        const std::string helo = "HELO " + std::string(host.data()) + "\r\n";
        const std::string message = messageText();

        Outbox outbox;
        if (withOutbox) {
            // The log files sit beside the folder, as the program's sit beside
            // its outbox.
            outbox.folder = std::filesystem::path(argv[4]).lexically_normal();
            if (!outbox.folder.has_filename())
                outbox.folder = outbox.folder.parent_path();
            std::filesystem::create_directories(outbox.folder);
            const std::filesystem::path beside = std::filesystem::absolute(outbox.folder).parent_path();
            outbox.log = openLine(beside / "floor.log", O_APPEND);
            outbox.status = openLine(beside / "floor.err", O_TRUNC);
        }

        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(uint16_t(port));
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

        rusage before{};
        rusage after{};
        timespec start{};
        timespec end{};
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        ::getrusage(RUSAGE_SELF, &before);
        for (unsigned i = 1; i <= sessions; ++i) {
            try {
                session(server, helo, message, withOutbox ? &outbox : nullptr, i);
            } catch (const std::exception &error) {
                throw std::runtime_error("session " + std::to_string(i) + " of " + std::to_string(sessions) + ": "
                                         + error.what());
            }
        }
        ::getrusage(RUSAGE_SELF, &after);
        ::clock_gettime(CLOCK_MONOTONIC, &end);

        const double user = microseconds(after.ru_utime) - microseconds(before.ru_utime);
        const double system = microseconds(after.ru_stime) - microseconds(before.ru_stime);
        const double wall = double(end.tv_sec - start.tv_sec) * 1e6 + double(end.tv_nsec - start.tv_nsec) / 1e3;
        std::printf("floor: %u sessions%s, %.3f ms CPU a session (user %.3f), %.3f ms wall\n", sessions,
                    withOutbox ? " with the outbox file and log lines" : "", (user + system) / sessions / 1000,
                    user / sessions / 1000, wall / sessions / 1000);
        if (withOutbox) {
            ::close(outbox.log);
            ::close(outbox.status);
        }
        return 0;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_smtpfloor: %s\n", error.what());
        return 1;
    }
}
