// A Samba server of the test's own: smbd on 127.0.0.1 at a free port, with a guest-writable share named
// "waveform" in a temporary folder. Every wait is bounded; when smbd is missing or does not come up, the
// server says why and the test skips. A share of limited size lies on a small memory file system of its
// own (mounting it needs root; without it the server says so and the test skips).
#pragma once

#include "run_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <thread>

namespace varnika::testing {

class SambaServer {
public:
    static constexpr auto start_limit = std::chrono::seconds(15);
    static constexpr auto stop_limit = std::chrono::seconds(5);

    // `share_bytes`: the share's size; 0 for no limit of its own.
    explicit SambaServer(std::size_t share_bytes = 0) {
        if (share_bytes > 0) {
            fs::create_directories(folder_ / "share");
            const std::string size = "size=" + std::to_string(share_bytes) + ",mode=0777";
            if (mount("tmpfs", (folder_ / "share").c_str(), "tmpfs", 0, size.c_str()) != 0) {
                why_not_ = "cannot limit the share's size (mounting a tmpfs needs root)";
                return;
            }
            limited_ = true;
        }
        start();
    }
    SambaServer(const SambaServer&) = delete;
    SambaServer& operator=(const SambaServer&) = delete;
    ~SambaServer() {
        stop();
        if (limited_) {
            umount2((folder_ / "share").c_str(), MNT_DETACH);
        }
    }

    bool running() const { return pid_ > 0 && why_not_.empty(); }
    // Why the server is not running.
    const std::string& why_not() const { return why_not_; }
    int port() const { return port_; }
    fs::path share_folder() const { return folder_ / "share"; }

    void stop() {
        if (pid_ <= 0) {
            return;
        }
        // smbd and the helpers it forks share the process group made for it at start; this process
        // adopts the helpers that outlive smbd, so all of them are reaped here.
        kill(-pid_, SIGTERM);
        if (!group_exited_within(stop_limit)) {
            kill(-pid_, SIGKILL);
            group_exited_within(stop_limit);
        }
        pid_ = -1;
    }

private:
    static std::string find_smbd() {
        for (const char* candidate : {"/usr/sbin/smbd", "/usr/local/sbin/smbd", "/usr/bin/smbd"}) {
            if (access(candidate, X_OK) == 0) {
                return candidate;
            }
        }
        return {};
    }

    // A port on 127.0.0.1 that nothing listens on just now.
    static int free_port() {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
        if (s >= 0) {
            close(s);
        }
        return port;
    }

    bool accepts_connections() const {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        if (s < 0) {
            return false;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        const bool connected = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(s);
        return connected;
    }

    // Reaps every process of the server's group; true once none is left.
    bool group_exited_within(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            const pid_t reaped = waitpid(-pid_, nullptr, WNOHANG);
            if (reaped < 0 && errno == ECHILD) {
                return true;
            }
            if (reaped <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        return false;
    }

    void write_configuration() {
        const fs::path d = folder_.path();
        for (const char* sub : {"share", "lock", "state", "cache", "pid", "private", "ncalrpc"}) {
            fs::create_directories(d / sub);
        }
        // The guest account reaches the share through the server's folder and writes into it.
        fs::permissions(d, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(d / "share", fs::perms::all);
        std::ofstream conf(d / "smb.conf");
        conf << "[global]\n"
             << "server role = standalone server\n"
             << "smb ports = " << port_ << "\n"
             << "interfaces = 127.0.0.1\n"
             << "bind interfaces only = yes\n"
             << "disable netbios = yes\n"
             << "map to guest = Bad User\n"
             << "lock directory = " << (d / "lock").string() << "\n"
             << "state directory = " << (d / "state").string() << "\n"
             << "cache directory = " << (d / "cache").string() << "\n"
             << "pid directory = " << (d / "pid").string() << "\n"
             << "private dir = " << (d / "private").string() << "\n"
             << "ncalrpc dir = " << (d / "ncalrpc").string() << "\n"
             << "passdb backend = tdbsam:" << (d / "private" / "passdb.tdb").string() << "\n"
             << "log file = " << (d / "log.%m").string() << "\n"
             << "load printers = no\n"
             << "printing = bsd\n"
             << "printcap name = /dev/null\n"
             << "disable spoolss = yes\n"
             << "[waveform]\n"
             << "path = " << (d / "share").string() << "\n"
             << "guest ok = yes\n"
             << "guest only = yes\n"
             << "read only = no\n";
    }

    void start() {
        const std::string smbd = find_smbd();
        if (smbd.empty()) {
            why_not_ = "smbd is not installed (Debian package samba)";
            return;
        }
        port_ = free_port();
        if (port_ == 0) {
            why_not_ = "no free port on 127.0.0.1";
            return;
        }
        write_configuration();
        const std::string conf = (folder_ / "smb.conf").string();
        const std::string log = (folder_ / "smbd.out").string();
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                dup2(out, STDOUT_FILENO);
                dup2(out, STDERR_FILENO);
            }
            execl(smbd.c_str(), "smbd", "--foreground", "--no-process-group", "--debug-stdout", "-d", "1",
                  "-s", conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ < 0) {
            why_not_ = "cannot start smbd";
            return;
        }
        setpgid(pid_, pid_);
        const auto end = std::chrono::steady_clock::now() + start_limit;
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                why_not_ = "smbd stopped at once: " + file_text(log);
                pid_ = -1;
                return;
            }
            if (accepts_connections()) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        why_not_ = "smbd did not accept connections within 15 s: " + file_text(log);
        stop();
    }

    TemporaryFolder folder_;
    bool limited_ = false;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string why_not_;
};

} // namespace varnika::testing
