#include "ProxyPeers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <crypt.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <grp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::testing {

namespace {

// Debian installs daemons under sbin, which an ordinary user's PATH may lack.
const char* const kProgramDirectories[] = {"/usr/sbin", "/usr/bin", "/sbin", "/bin",
                                           "/usr/lib/squid"};

bool isExecutable(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Processes that a peer's program forked and left behind when it died are handed to this
// process instead of the machine's init, so that stop() can reap them.
void becomeSubreaper()
{
    static const bool done = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    (void)done;
}

// Every process below `root` in the process tree, found through /proc. Programs such as
// squid (its helpers) and sshd (its sessions) start children in sessions of their own,
// which a signal to the program's process group does not reach.
std::vector<pid_t> descendantsOf(pid_t root)
{
    std::map<pid_t, std::vector<pid_t>> children;
    if (DIR* proc = ::opendir("/proc")) {
        while (dirent* e = ::readdir(proc)) {
            char* end;
            long pid = std::strtol(e->d_name, &end, 10);
            if (*end || pid <= 0)
                continue;
            std::string stat = readBytes("/proc/" + std::string(e->d_name) + "/stat");
            size_t paren = stat.rfind(')');
            if (paren == std::string::npos || paren + 4 >= stat.size())
                continue;
            // After the name: " S ppid ..."
            long ppid = std::strtol(stat.c_str() + paren + 4, nullptr, 10);
            children[pid_t(ppid)].push_back(pid_t(pid));
        }
        ::closedir(proc);
    }
    std::vector<pid_t> found;
    std::vector<pid_t> pending{root};
    while (!pending.empty()) {
        pid_t p = pending.back();
        pending.pop_back();
        for (pid_t c : children[p]) {
            found.push_back(c);
            pending.push_back(c);
        }
    }
    return found;
}

// Reaps a killed process once it has become our child (its parent died and it was handed
// to us), or notes that somebody else reaped it.
void reapKilled(pid_t pid)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return;
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && ::access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0)
            return;  // gone: its own parent reaped it
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void check(bool ok, const std::string& what)
{
    if (!ok)
        throw PeerError(what);
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// Hands the folder (and what is in it) to the account a daemon drops its privileges to,
// so that it can write its log and pid file there.
void giveTo(const std::string& dir, const char* account)
{
    struct passwd* pw = ::getpwnam(account);
    check(pw != nullptr, std::string("no account ") + account + " on this machine");
    check(::chown(dir.c_str(), pw->pw_uid, pw->pw_gid) == 0, "chown " + dir + ": " + std::strerror(errno));
    check(::chmod(dir.c_str(), 0755) == 0, "chmod " + dir + ": " + std::strerror(errno));
}

void writeFile(const std::string& path, const std::string& text, mode_t mode = 0644)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    check(fd >= 0, path + ": " + std::strerror(errno));
    bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    check(written && ::chmod(path.c_str(), mode) == 0, path + ": " + std::strerror(errno));
}

// Starts a peer on a fresh port; a program that exits at once (another process took the
// port between our probe and its bind) gets another port, a few times.
template <class StartOnPort>
void startOnSomePort(ProcessGroup& process, uint16_t& port, const std::string& log,
                     const char* what, StartOnPort startOnPort)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = unusedLoopbackPort();
        check(port != 0, "no free port on 127.0.0.1");
        startOnPort(port);
        if (process.waitUntilAccepting(port))
            return;
        process.stop();
    }
    throw PeerError(std::string(what) + " did not start accepting on 127.0.0.1:\n" + logTail(log));
}

} // namespace

std::string requireProgram(const char* program, const char* package)
{
    for (const char* dir : kProgramDirectories) {
        std::string path = std::string(dir) + "/" + program;
        if (isExecutable(path))
            return path;
    }
    throw PeerError(std::string("the peer program ") + program +
                    " is missing: install the Debian package " + package +
                    " (scripts/install-deps installs every package the tests need)");
}

std::string configFromTemplate(const char* name, const std::map<std::string, std::string>& values)
{
    std::string path = std::string(ORVANE_PEER_TEMPLATES) + "/" + name;
    std::string text = readBytes(path);
    check(text != "<missing>", "no template " + path);
    for (const auto& [key, value] : values) {
        std::string marker = "@" + key + "@";
        for (size_t at = text.find(marker); at != std::string::npos;
             at = text.find(marker, at + value.size()))
            text.replace(at, marker.size(), value);
    }
    check(text.find("@") == std::string::npos, std::string(name) + " keeps a marker:\n" + text);
    return text;
}

void ProcessGroup::start(const std::vector<std::string>& argv, const std::string& logPath)
{
    check(!argv.empty() && pid_ < 0, "ProcessGroup::start misused");
    becomeSubreaper();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that stop() reaches the helpers and children it forks.
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    int rc = spawnProgram(argv, &actions, &attributes, pid);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    check(rc == 0, "cannot start " + argv[0] + ": " + std::strerror(rc));
    pid_ = pid;
}

bool ProcessGroup::running()
{
    if (pid_ < 0)
        return false;
    int status;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        // Its group may live on in workers it forked.
        ::kill(-pid_, SIGKILL);
        pid_ = -1;
        return false;
    }
    return true;
}

bool ProcessGroup::waitUntilAccepting(uint16_t port, int timeoutMs)
{
    return orvane::testing::waitUntilAccepting(port, timeoutMs, [this] { return running(); });
}

void ProcessGroup::stop()
{
    if (pid_ < 0)
        return;
    std::vector<pid_t> descendants = descendantsOf(pid_);
    ::kill(-pid_, SIGKILL);
    for (pid_t d : descendants)
        ::kill(d, SIGKILL);
    int status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    // What it forked is handed to us as its parents die; none is left a zombie.
    for (pid_t d : descendants)
        reapKilled(d);
    pid_ = -1;
}

int ProcessGroup::waitForExit()
{
    int status = 0;
    if (pid_ < 0)
        return status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

void runToCompletion(const std::vector<std::string>& argv, const std::string& logPath)
{
    ProcessGroup p;
    p.start(argv, logPath);
    int status = p.waitForExit();
    check(WIFEXITED(status) && WEXITSTATUS(status) == 0, argv[0] + " failed:\n" + logTail(logPath));
}

std::string logTail(const std::string& path)
{
    std::string text = readBytes(path);
    return text.size() > 4000 ? text.substr(text.size() - 4000) : text;
}

// ---------------------------------------------------------------------------------------

EchoServer::EchoServer(bool resetOnClose) : resetOnClose_(resetOnClose)
{
    listener_ = listenOnLoopback(port_);
    if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
        throw PeerError(std::string("echo server: ") + std::strerror(errno));
        return;
    }
    acceptor_ = std::thread([this] { acceptLoop(); });
}

EchoServer::~EchoServer()
{
    if (wake_[1] >= 0) {
        // Closing the write end wakes every poll that watches the read end.
        ::close(wake_[1]);
        wake_[1] = -1;
    }
    if (acceptor_.joinable())
        acceptor_.join();
    for (Worker& w : workers_)
        w.thread.join();
    if (wake_[0] >= 0)
        ::close(wake_[0]);
    if (listener_ >= 0)
        ::close(listener_);
}

void EchoServer::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++accepted_;
        for (size_t i = 0; i < workers_.size();) {
            if (workers_[i].done->load()) {
                workers_[i].thread.join();
                workers_[i] = std::move(workers_.back());
                workers_.pop_back();
            } else {
                ++i;
            }
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back({std::thread([this, fd, done] {
                                serve(fd);
                                done->store(true);
                            }),
                            done});
    }
}

void EchoServer::serve(int fd)
{
    char buffer[16384];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents)
            break;
        if (!fds[0].revents)
            continue;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        ssize_t sent = 0;
        while (sent < n) {
            ssize_t m = ::send(fd, buffer + sent, size_t(n - sent), MSG_NOSIGNAL);
            if (m <= 0)
                break;
            sent += m;
        }
        if (sent < n)
            break;
    }
    if (resetOnClose_) {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(fd);
}

// ---------------------------------------------------------------------------------------

void SquidPeer::launch()
{
    std::string squid = requireProgram("squid", "squid");
    const std::string helpers = "/usr/lib/squid/";
    std::string auth;
    switch (auth_) {
    case Auth::None:
        auth = "http_access allow all";
        break;
    case Auth::Basic: {
        requireProgram("basic_ncsa_auth", "squid");
        // The password file in the crypt form basic_ncsa_auth checks against.
        struct crypt_data data;
        std::memset(&data, 0, sizeof data);
        const char* hash = ::crypt_r(kPeerPassword, "$1$orvane01$", &data);
        check(hash && hash[0] == '$', "crypt failed");
        writeFile(dir_ / "passwd", std::string(kPeerUser) + ":" + hash + "\n");
        auth = "auth_param basic program " + helpers + "basic_ncsa_auth " + (dir_ / "passwd") +
               "\nauth_param basic children 2 startup=1 idle=1\nauth_param basic realm " +
               kPeerRealm;
        break;
    }
    case Auth::Digest:
        requireProgram("digest_file_auth", "squid");
        writeFile(dir_ / "digest_passwd", std::string(kPeerUser) + ":" + kPeerPassword + "\n");
        auth = "auth_param digest program " + helpers + "digest_file_auth " + (dir_ / "digest_passwd") +
               "\nauth_param digest children 2 startup=1 idle=1\nauth_param digest realm " +
               kPeerRealm;
        break;
    case Auth::Ntlm:
        requireProgram("ntlm_fake_auth", "squid");
        auth = "auth_param ntlm program " + helpers + "ntlm_fake_auth\n"
               "auth_param ntlm children 2 startup=1 idle=1";
        break;
    }
    if (auth_ != Auth::None)
        auth += "\nacl authenticated proxy_auth REQUIRED\nhttp_access allow authenticated";

    // As root squid drops to its own account, which must be able to write the folder.
    std::string user;
    if (runningAsRoot()) {
        user = "cache_effective_user proxy";
        giveTo(dir_.path(), "proxy");
    }
    // Instances of parallel tests must not share squid's service name.
    static std::atomic<int> instances{0};
    std::string service = "orvane" + std::to_string(::getpid()) + "x" + std::to_string(++instances);
    std::string log = dir_ / "squid.out";
    startOnSomePort(process_, port_, log, "squid", [&](uint16_t port) {
        writeFile(dir_ / "squid.conf",
                  configFromTemplate("squid.conf.in", {{"PORT", std::to_string(port)},
                                                       {"DIR", dir_.path()},
                                                       {"USER", user},
                                                       {"AUTH", auth}}));
        process_.start({squid, "-N", "-f", dir_ / "squid.conf", "-n", service}, log);
    });
}

void DantePeer::launch()
{
    std::string danted = requireProgram("danted", "dante-server");
    std::string user;
    if (runningAsRoot()) {
        user = "user.privileged: root\nuser.unprivileged: nobody";
        giveTo(dir_.path(), "nobody");
    }
    std::string log = dir_ / "danted.out";
    startOnSomePort(process_, port_, log, "danted", [&](uint16_t port) {
        writeFile(dir_ / "danted.conf",
                  configFromTemplate("danted.conf.in", {{"PORT", std::to_string(port)},
                                                        {"DIR", dir_.path()},
                                                        {"USER", user},
                                                        {"REFUSED_PORT", std::to_string(refusedPort_)},
                                                        {"EXTERNAL", external_},
                                                        {"DESTINATIONS", external_ == "127.0.0.1" ? "127.0.0.0/8"
                                                                                                   : "0.0.0.0/0"}}));
        process_.start({danted, "-f", dir_ / "danted.conf", "-p", dir_ / "danted.pid", "-N", "1"},
                       log);
    });
}

void MicrosocksPeer::launch()
{
    std::string microsocks = requireProgram("microsocks", "microsocks");
    std::string log = dir_ / "microsocks.out";
    startOnSomePort(process_, port_, log, "microsocks", [&](uint16_t port) {
        process_.start({microsocks, "-i", "127.0.0.1", "-p", std::to_string(port), "-u",
                        kPeerUser, "-P", kPeerPassword},
                       log);
    });
}

void TinyproxyPeer::launch()
{
    std::string tinyproxy = requireProgram("tinyproxy", "tinyproxy");
    std::string user;
    if (runningAsRoot()) {
        // tinyproxy refuses to keep root; nobody's group is named differently per system.
        struct group* g = ::getgrnam("nogroup");
        user = std::string("User nobody\nGroup ") + (g ? "nogroup" : "nobody");
        giveTo(dir_.path(), "nobody");
    }
    std::string log = dir_ / "tinyproxy.out";
    startOnSomePort(process_, port_, log, "tinyproxy", [&](uint16_t port) {
        writeFile(dir_ / "tinyproxy.conf",
                  configFromTemplate("tinyproxy.conf.in", {{"PORT", std::to_string(port)},
                                                           {"DIR", dir_.path()},
                                                           {"USER", user},
                                                           {"PROXY_USER", kPeerUser},
                                                           {"PROXY_PASSWORD", kPeerPassword}}));
        process_.start({tinyproxy, "-d", "-c", dir_ / "tinyproxy.conf"}, log);
    });
}

void SshSocksPeer::launch()
{
    std::string sshd = requireProgram("sshd", "openssh-server");
    std::string ssh = requireProgram("ssh", "openssh-client");
    std::string keygen = requireProgram("ssh-keygen", "openssh-client");
    std::string unshare = requireProgram("unshare", "util-linux");
    std::string sh = requireProgram("sh", "dash");
    // A private mount namespace, the hosts file and sshd's privilege-separation folder
    // under /run all need root.
    check(runningAsRoot(), "the ssh -D peer needs root (mount namespace)");

    std::string log = dir_ / "ssh.out";
    for (const char* key : {"host_key", "user_key"})
        runToCompletion({keygen, "-q", "-t", "ed25519", "-N", "", "-C", "orvane-test", "-f", dir_ / key}, log);
    writeFile(dir_ / "authorized_keys", readBytes(dir_ / "user_key.pub"));
    writeFile(dir_ / "hosts", "127.0.0.1 localhost\n127.0.0.1 " + privateName_ + "\n");

    // Inside the namespace: the private hosts file over /etc/hosts, a private /run with
    // the folder sshd insists on, then sshd itself. The paths reach the shell as
    // arguments, never as part of its script.
    const std::string script = "mount --bind \"$1\" /etc/hosts && "
                               "mount -t tmpfs -o mode=0755 orvane-run /run && "
                               "mkdir -m 0755 /run/sshd && exec \"$2\" -D -e -f \"$3\"";
    startOnSomePort(sshd_, sshPort_, log, "sshd", [&](uint16_t port) {
        writeFile(dir_ / "sshd_config",
                  configFromTemplate("sshd_config.in",
                                     {{"PORT", std::to_string(port)}, {"DIR", dir_.path()}}));
        sshd_.start({unshare, "--mount", "--propagation", "private", "--", sh, "-c", script, "sh",
                     dir_ / "hosts", sshd, dir_ / "sshd_config"},
                    log);
    });

    struct passwd* pw = ::getpwuid(::geteuid());
    check(pw != nullptr, "no account for this user");
    startOnSomePort(client_, socksPort_, log, "ssh -D", [&](uint16_t port) {
        client_.start(
            {ssh, "-F", "none", "-N", "-D", "127.0.0.1:" + std::to_string(port), "-p",
             std::to_string(sshPort_), "-i", dir_ / "user_key", "-o", "IdentitiesOnly=yes",
             "-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=no", "-o",
             "UserKnownHostsFile=" + (dir_ / "known_hosts"), "-o", "ExitOnForwardFailure=yes",
             "-o", "LogLevel=ERROR", "-l", pw->pw_name, "127.0.0.1"},
            log);
    });
}

} // namespace orvane::testing
