// A file system in memory that forgets, at a simulated power cut, everything that was not made
// durable: a file's bytes only count once fsync or fdatasync took them, a folder's names (files
// created, renamed, removed in it) once the folder itself was synced. A rename between two
// folders is a new name in the one and a lost name in the other, each durable with its folder.
//
// Mounted with `powercutfs MOUNTPOINT [FUSE options]`; driven line by line on standard input,
// answered on standard output:
//   cut before|after KINDS PATTERN N   the N-th operation of one of KINDS (comma-separated:
//                                      create mkdir write truncate rename unlink rmdir fsync
//                                      fsyncdir) on a path containing PATTERN ("*": any path;
//                                      "P$": ending in P) cuts the power, before it takes effect
//                                      or right after (a rename's path is "FROM -> TO"). Answers
//                                      "armed"; at the cut it says "cut KIND PATH" and every
//                                      operation waits until "power".
//   fail KINDS PATTERN N ERRNO         that operation fails with ERRNO instead, once.
//   disarm                             forgets the cut or failure not come to.
//   power                              power back: what was durable is all there is; waiting
//                                      operations (of the program that lost its power) fail.
//   durable                            makes everything durable as it is now (for a set-up).
//   ops                                the operations since the last cut, fail or power, one a
//                                      line, then "end".
//   nomodes                            from now on like FAT: every file and folder shows 0755 and
//                                      a change of mode is refused.
// Every file and folder belongs to whoever mounted it. At a cut every operation, reading too,
// waits: the program stands still as it would without power, until the test has killed it and
// says "power". Run it multi-threaded with room for all of them (-o max_threads=64).
#define FUSE_USE_VERSION 31

#include <fuse3/fuse.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Node
{
    uint64_t ino = 0;
    mode_t mode = 0;
    timespec mtime{}, durableMtime{};
    std::string data, durableData;                                   // a file's bytes
    std::map<std::string, std::shared_ptr<Node>> names, durableNames; // a folder's entries

    bool folder() const { return S_ISDIR(mode); }
};
using NodePtr = std::shared_ptr<Node>;

struct Trigger
{
    bool armed = false;
    bool after = false;
    std::set<std::string> kinds;
    std::string pattern;
    int remaining = 0;
    int error = 0; // a failure to inject instead of a cut
};

std::mutex g_mutex;
std::condition_variable g_powerBack;
bool g_dark = false;    // the power is off until "power"
bool g_noModes = false; // no modes, like FAT
uint64_t g_nextIno = 1;
NodePtr g_root;
std::map<uint64_t, NodePtr> g_handles;
std::map<uint64_t, std::string> g_handlePaths;
uint64_t g_nextHandle = 1;
Trigger g_cut, g_fail;
std::vector<std::string> g_log;
pthread_t g_loop;
fuse *g_fuse = nullptr;

timespec now()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

NodePtr newNode(mode_t mode)
{
    auto node = std::make_shared<Node>();
    node->ino = g_nextIno++;
    node->mode = mode;
    node->mtime = node->durableMtime = now();
    return node;
}

void say(const std::string &line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::vector<std::string> split(const std::string &path)
{
    std::vector<std::string> parts;
    std::stringstream in(path);
    std::string part;
    while (std::getline(in, part, '/'))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

NodePtr lookup(const std::string &path)
{
    NodePtr node = g_root;
    for (const std::string &part : split(path)) {
        if (!node->folder())
            return nullptr;
        const auto it = node->names.find(part);
        if (it == node->names.end())
            return nullptr;
        node = it->second;
    }
    return node;
}

// The folder a path lies in, and its last part.
NodePtr parentOf(const std::string &path, std::string *name)
{
    std::vector<std::string> parts = split(path);
    if (parts.empty())
        return nullptr;
    *name = parts.back();
    parts.pop_back();
    std::string folder;
    for (const std::string &p : parts)
        folder += "/" + p;
    NodePtr parent = lookup(folder);
    return parent && parent->folder() ? parent : nullptr;
}

// Back to what was durable, from the root down.
void revert(const NodePtr &node, std::set<Node *> &seen)
{
    if (!seen.insert(node.get()).second)
        return;
    if (node->folder()) {
        node->names = node->durableNames;
        for (auto &[name, child] : node->names)
            revert(child, seen);
    } else {
        node->data = node->durableData;
        node->mtime = node->durableMtime;
    }
}

void makeDurable(const NodePtr &node, std::set<Node *> &seen)
{
    if (!seen.insert(node.get()).second)
        return;
    node->durableNames = node->names;
    node->durableData = node->data;
    node->durableMtime = node->mtime;
    for (auto &[name, child] : node->names)
        makeDurable(child, seen);
}

bool matches(const Trigger &t, const std::string &kind, const std::string &path)
{
    if (!t.armed || !t.kinds.count(kind))
        return false;
    if (t.pattern == "*")
        return true;
    // "name$": the path ends there (a folder itself, not what is in it).
    if (!t.pattern.empty() && t.pattern.back() == '$') {
        const std::string end = t.pattern.substr(0, t.pattern.size() - 1);
        return path.size() >= end.size() && path.compare(path.size() - end.size(), end.size(), end) == 0;
    }
    return path.find(t.pattern) != std::string::npos;
}

// Holds an operation of the program without power until the power is back, or until the
// program is killed: the kernel waits for an answer to a request already sent even then, and
// says so with an interrupt.
void waitForPower(std::unique_lock<std::mutex> &lock)
{
    while (g_dark && !fuse_interrupted())
        g_powerBack.wait_for(lock, std::chrono::milliseconds(20));
}

void powerCut(const std::string &kind, const std::string &path)
{
    std::set<Node *> seen;
    revert(g_root, seen);
    g_dark = true;
    g_cut.armed = false;
    say("cut " + kind + " " + path);
}

// Every changing operation goes through here: logged, and perhaps where the power goes or a
// failure is injected. `apply` does the work and returns 0 or -errno.
template <typename Apply>
int operation(const std::string &kind, const std::string &path, Apply apply)
{
    std::unique_lock lock(g_mutex);
    if (g_dark) {
        waitForPower(lock);
        return -EIO;
    }
    g_log.push_back(kind + " " + path);
    if (matches(g_fail, kind, path) && --g_fail.remaining == 0) {
        g_fail.armed = false;
        return -g_fail.error;
    }
    const bool cut = matches(g_cut, kind, path) && --g_cut.remaining == 0;
    if (cut && !g_cut.after) {
        powerCut(kind, path);
        waitForPower(lock);
        return -EIO;
    }
    const int result = apply();
    if (cut) {
        powerCut(kind, path);
        waitForPower(lock);
        return -EIO;
    }
    return result;
}

// Reading goes on in the dark too until the program is gone; it sees the state it had.
template <typename Read>
int reading(Read read)
{
    std::unique_lock lock(g_mutex);
    if (g_dark) {
        waitForPower(lock);
        return -EIO;
    }
    return read();
}

void fill(const NodePtr &node, struct stat *st)
{
    std::memset(st, 0, sizeof *st);
    st->st_ino = node->ino;
    st->st_mode = g_noModes ? (node->mode & S_IFMT) | 0755 : node->mode;
    st->st_nlink = node->folder() ? 2 : 1;
    st->st_uid = getuid();
    st->st_gid = getgid();
    st->st_size = node->folder() ? 4096 : off_t(node->data.size());
    st->st_blksize = 4096;
    st->st_blocks = (st->st_size + 511) / 512;
    st->st_mtim = st->st_ctim = st->st_atim = node->mtime;
}

NodePtr handle(const fuse_file_info *fi)
{
    const auto it = g_handles.find(fi->fh);
    return it == g_handles.end() ? nullptr : it->second;
}

// The path a file or folder was opened by, which the operations on it are logged and matched by.
std::string handlePath(const fuse_file_info *fi)
{
    std::lock_guard lock(g_mutex);
    const auto it = g_handlePaths.find(fi->fh);
    return it == g_handlePaths.end() ? std::string("?") : it->second;
}

uint64_t newHandle(const NodePtr &node, const std::string &path)
{
    const uint64_t h = g_nextHandle++;
    g_handles[h] = node;
    g_handlePaths[h] = path;
    return h;
}

int fsGetattr(const char *path, struct stat *st, fuse_file_info *fi)
{
    return reading([&] {
        const NodePtr node = fi ? handle(fi) : lookup(path);
        if (!node)
            return -ENOENT;
        fill(node, st);
        return 0;
    });
}

int fsMkdir(const char *path, mode_t mode)
{
    return operation("mkdir", path, [&] {
        std::string name;
        const NodePtr parent = parentOf(path, &name);
        if (!parent)
            return -ENOENT;
        if (parent->names.count(name))
            return -EEXIST;
        parent->names[name] = newNode(S_IFDIR | (mode & 07777));
        parent->mtime = now();
        return 0;
    });
}

int fsCreate(const char *path, mode_t mode, fuse_file_info *fi)
{
    return operation("create", path, [&] {
        std::string name;
        const NodePtr parent = parentOf(path, &name);
        if (!parent)
            return -ENOENT;
        NodePtr node;
        if (const auto it = parent->names.find(name); it != parent->names.end()) {
            if (fi->flags & O_EXCL)
                return -EEXIST;
            node = it->second;
        } else {
            node = newNode(S_IFREG | (mode & 07777));
            parent->names[name] = node;
            parent->mtime = now();
        }
        if (fi->flags & O_TRUNC)
            node->data.clear();
        fi->fh = newHandle(node, path);
        return 0;
    });
}

int fsOpen(const char *path, fuse_file_info *fi)
{
    return reading([&] {
        const NodePtr node = lookup(path);
        if (!node)
            return -ENOENT;
        if (node->folder())
            return -EISDIR;
        fi->fh = newHandle(node, path);
        return 0;
    });
}

int fsOpendir(const char *path, fuse_file_info *fi)
{
    return reading([&] {
        const NodePtr node = lookup(path);
        if (!node)
            return -ENOENT;
        if (!node->folder())
            return -ENOTDIR;
        fi->fh = newHandle(node, path);
        return 0;
    });
}

int fsRelease(const char *, fuse_file_info *fi)
{
    std::lock_guard lock(g_mutex);
    g_handles.erase(fi->fh);
    g_handlePaths.erase(fi->fh);
    return 0;
}

int fsRead(const char *, char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    return reading([&] {
        const NodePtr node = handle(fi);
        if (!node)
            return -EBADF;
        if (offset >= off_t(node->data.size()))
            return 0;
        const size_t n = std::min(size, node->data.size() - size_t(offset));
        std::memcpy(buffer, node->data.data() + offset, n);
        return int(n);
    });
}

int fsWrite(const char *, const char *bytes, size_t size, off_t offset, fuse_file_info *fi)
{
    return operation("write", handlePath(fi), [&] {
        const NodePtr node = handle(fi);
        if (!node)
            return -EBADF;
        if (node->data.size() < size_t(offset) + size)
            node->data.resize(size_t(offset) + size);
        std::memcpy(node->data.data() + offset, bytes, size);
        node->mtime = now();
        return int(size);
    });
}

int fsTruncate(const char *path, off_t size, fuse_file_info *fi)
{
    return operation("truncate", fi ? handlePath(fi) : std::string(path), [&] {
        const NodePtr node = fi ? handle(fi) : lookup(path);
        if (!node)
            return -ENOENT;
        node->data.resize(size_t(size));
        node->mtime = now();
        return 0;
    });
}

// unlink and rmdir: the name goes from its folder (a folder only when empty).
int removeName(const char *kind, const char *path, bool folder)
{
    return operation(kind, path, [&] {
        std::string name;
        const NodePtr parent = parentOf(path, &name);
        const auto it = parent ? parent->names.find(name) : std::map<std::string, NodePtr>::iterator();
        if (!parent || it == parent->names.end())
            return -ENOENT;
        if (it->second->folder() != folder)
            return folder ? -ENOTDIR : -EISDIR;
        if (folder && !it->second->names.empty())
            return -ENOTEMPTY;
        parent->names.erase(it);
        parent->mtime = now();
        return 0;
    });
}

int fsUnlink(const char *path) { return removeName("unlink", path, false); }

int fsRmdir(const char *path) { return removeName("rmdir", path, true); }

int fsRename(const char *from, const char *to, unsigned int flags)
{
    return operation("rename", std::string(from) + " -> " + to, [&] {
        if (flags & RENAME_EXCHANGE)
            return -EINVAL;
        std::string fromName, toName;
        const NodePtr source = parentOf(from, &fromName), target = parentOf(to, &toName);
        if (!source || !target || !source->names.count(fromName))
            return -ENOENT;
        if ((flags & RENAME_NOREPLACE) && target->names.count(toName))
            return -EEXIST;
        const NodePtr node = source->names[fromName];
        if (const auto it = target->names.find(toName); it != target->names.end()) {
            if (it->second->folder() != node->folder())
                return node->folder() ? -ENOTDIR : -EISDIR;
            if (it->second->folder() && !it->second->names.empty())
                return -ENOTEMPTY;
        }
        source->names.erase(fromName);
        target->names[toName] = node;
        source->mtime = target->mtime = now();
        return 0;
    });
}

// fsync and fdatasync take a file's bytes to the disk, a folder's fsync its names.
int fsFsync(const char *, int, fuse_file_info *fi)
{
    return operation("fsync", handlePath(fi), [&] {
        const NodePtr node = handle(fi);
        if (!node)
            return -EBADF;
        node->durableData = node->data;
        node->durableMtime = node->mtime;
        return 0;
    });
}

int fsFsyncdir(const char *, int, fuse_file_info *fi)
{
    return operation("fsyncdir", handlePath(fi), [&] {
        const NodePtr node = handle(fi);
        if (!node)
            return -EBADF;
        node->durableNames = node->names;
        return 0;
    });
}

int fsReaddir(const char *, void *buffer, fuse_fill_dir_t filler, off_t, fuse_file_info *fi, fuse_readdir_flags)
{
    return reading([&] {
        const NodePtr node = handle(fi);
        if (!node)
            return -EBADF;
        filler(buffer, ".", nullptr, 0, fuse_fill_dir_flags(0));
        filler(buffer, "..", nullptr, 0, fuse_fill_dir_flags(0));
        for (const auto &[name, child] : node->names) {
            struct stat st;
            fill(child, &st);
            filler(buffer, name.c_str(), &st, 0, fuse_fill_dir_flags(0));
        }
        return 0;
    });
}

int fsChmod(const char *path, mode_t mode, fuse_file_info *fi)
{
    return reading([&] {
        const NodePtr node = fi ? handle(fi) : lookup(path);
        if (!node)
            return -ENOENT;
        if (g_noModes)
            return -EPERM;
        node->mode = (node->mode & S_IFMT) | (mode & 07777);
        return 0;
    });
}

int fsUtimens(const char *path, const timespec times[2], fuse_file_info *fi)
{
    return reading([&] {
        const NodePtr node = fi ? handle(fi) : lookup(path);
        if (!node)
            return -ENOENT;
        if (times[1].tv_nsec == UTIME_NOW)
            node->mtime = now();
        else if (times[1].tv_nsec != UTIME_OMIT)
            node->mtime = times[1];
        return 0;
    });
}

int fsStatfs(const char *, struct statvfs *st)
{
    std::memset(st, 0, sizeof *st);
    st->f_bsize = st->f_frsize = 4096;
    st->f_blocks = st->f_bfree = st->f_bavail = 1 << 20;
    st->f_files = st->f_ffree = 1 << 20;
    st->f_namemax = 255;
    return 0;
}

Trigger parseTrigger(std::istringstream &in)
{
    Trigger t;
    std::string kinds, kind;
    in >> kinds >> t.pattern >> t.remaining;
    std::stringstream list(kinds);
    while (std::getline(list, kind, ','))
        t.kinds.insert(kind);
    t.armed = !t.kinds.empty() && t.remaining > 0;
    return t;
}

void control()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        std::unique_lock lock(g_mutex);
        if (command == "cut") {
            std::string when;
            in >> when;
            g_cut = parseTrigger(in);
            g_cut.after = when == "after";
            g_log.clear();
            say(g_cut.armed ? "armed" : "bad cut");
        } else if (command == "fail") {
            g_fail = parseTrigger(in);
            in >> g_fail.error;
            g_log.clear();
            say(g_fail.armed && g_fail.error > 0 ? "armed" : "bad fail");
        } else if (command == "power") {
            std::set<Node *> seen;
            revert(g_root, seen);
            g_dark = false;
            g_cut = g_fail = Trigger();
            g_log.clear();
            g_powerBack.notify_all();
            say("on");
        } else if (command == "disarm") {
            g_cut = g_fail = Trigger();
            say("ok");
        } else if (command == "durable") {
            std::set<Node *> seen;
            makeDurable(g_root, seen);
            say("ok");
        } else if (command == "nomodes") {
            g_noModes = true;
            say("ok");
        } else if (command == "ops") {
            for (const std::string &op : g_log)
                say(op);
            say("end");
        } else {
            say("unknown " + command);
        }
    }
    // Standard input closed: unmount and end.
    {
        std::lock_guard lock(g_mutex);
        g_dark = false;
        g_powerBack.notify_all();
    }
    if (g_fuse)
        fuse_exit(g_fuse);
    pthread_kill(g_loop, SIGTERM);
}

void *fsInit(fuse_conn_info *, fuse_config *config)
{
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    config->hard_remove = 1;
    config->nullpath_ok = 1;
    config->direct_io = 1; // no page cache: after a cut the kernel must not show what was lost
    config->kernel_cache = 0;
    config->auto_cache = 0;
    g_fuse = fuse_get_context()->fuse;
    std::thread(control).detach();
    say("ready");
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    g_root = newNode(S_IFDIR | 0755);
    g_loop = pthread_self();
    fuse_operations ops{};
    ops.getattr = fsGetattr;
    ops.mkdir = fsMkdir;
    ops.create = fsCreate;
    ops.open = fsOpen;
    ops.opendir = fsOpendir;
    ops.release = fsRelease;
    ops.releasedir = fsRelease;
    ops.read = fsRead;
    ops.write = fsWrite;
    ops.truncate = fsTruncate;
    ops.unlink = fsUnlink;
    ops.rmdir = fsRmdir;
    ops.rename = fsRename;
    ops.fsync = fsFsync;
    ops.fsyncdir = fsFsyncdir;
    ops.readdir = fsReaddir;
    ops.chmod = fsChmod;
    ops.utimens = fsUtimens;
    ops.statfs = fsStatfs;
    ops.init = fsInit;
    return fuse_main(argc, argv, &ops, nullptr);
}
