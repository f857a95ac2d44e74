// Internet layer of both programs, over libcurl.
//
// Thread rules: every free function may be called from any thread and keeps no state between
// calls. A `Download` runs on one worker thread; its `TransferGate` is the only part that other
// threads touch (pause, resume, stop), and it is safe to do so at any time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace net {

// Connection-state flags, numbered as the platform reports them in its offline message.
enum ConnectionFlags : int {
    kConnectionModem = 0x01,
    kConnectionLan = 0x02,
    kConnectionProxy = 0x04,
    kConnectionOffline = 0x20,
    kConnectionConfigured = 0x40,
};

struct InterfaceInfo {
    std::string name;
    bool up = false;       // administratively up and running
    bool loopback = false; // a loopback interface
};

struct ConnectedState {
    bool connected = false;
    int flags = 0;
};

// The decision behind connectedState(), a function of its inputs: connected when any
// interface other than loopback is up, or when the host we are about to reach is itself on
// loopback (a test machine without any outside link still reaches a local server). A proxy
// from the environment adds kConnectionProxy.
ConnectedState connectedStateFrom(const std::vector<InterfaceInfo>& interfaces, bool hostIsLoopback,
                                  bool proxyConfigured);

// The machine's interfaces, read from the kernel.
std::vector<InterfaceInfo> listInterfaces();

// True for 127.0.0.0/8, ::1 and "localhost" (with or without a port, IPv6 in brackets).
bool isLoopbackHost(const std::string& hostAndPort);

// Whether http_proxy / https_proxy / all_proxy (either case) is set.
bool proxyFromEnvironment();

// The connected state for reaching `hostAndPort`.
ConnectedState connectedState(const std::string& hostAndPort);

// The host[:port] part of an http or https URL ("" when the URL has no such part).
std::string hostOfUrl(const std::string& url);

struct FirstRead {
    bool opened = false; // the request reached the server and it answered with a 2xx status
    long status = 0;     // HTTP status, 0 when no answer came
    std::string data;    // the bytes of the single first read (at most the asked amount)
    std::string error;   // libcurl's text for a failure, for diagnostics only
};

// GET `url` and take one read of at most `maxBytes` bytes: the transfer ends as soon as that
// many bytes have arrived, so bytes beyond the first read are never fetched. A status outside
// 200..299 counts as not opened: an error page is never taken for the document. When `cancel`
// is given and becomes true, the request ends within about a second as not opened, so a
// program that quits never waits for a slow or silent server.
FirstRead fetchFirstRead(const std::string& url, const std::string& agent,
                         std::size_t maxBytes = 1024, long timeoutSeconds = 30,
                         const std::atomic<bool>* cancel = nullptr);

// A manual-reset gate between download chunks. pause() holds the transfer at the next chunk
// until resume() or stop(); stop() ends the transfer for good.
class TransferGate {
public:
    // Returns true if the gate was open until now (the transfer was running).
    bool pause();
    void resume();
    void stop();
    bool paused() const;
    bool stopped() const { return stopped_.load(); }
    // Blocks while paused; returns false once stopped.
    bool waitWhilePaused();

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool paused_ = false;
    std::atomic<bool> stopped_{false};
};

enum class DownloadOutcome {
    Complete,     // every byte the server announced arrived and was written
    NotStarted,   // status outside 200..299, or the sink refused to begin (file not created)
    NetworkError, // refused, unresolved, broken or cut short, stalled, or a write failed
    Stopped,      // stopped through the gate
    BadScheme,    // neither http nor https: nothing was attempted
};

// Receives the installer: begin() once the status is known to be 2xx (return false when the
// file cannot be created), then chunks of exactly `chunkSize` bytes except the last, which is
// shorter (possibly empty when the length is a multiple of the chunk size).
class DownloadSink {
public:
    virtual ~DownloadSink() = default;
    // contentLength is -1 when the server sent none.
    virtual bool begin(std::int64_t contentLength) = 0;
    // Returns false when the bytes could not be written.
    virtual bool chunk(const char* data, std::size_t size, bool last) = 0;
};

struct DownloadOptions {
    std::size_t chunkSize = 1024;
    long connectTimeoutSeconds = 30;
    // No byte for this long (time spent paused does not count) ends the transfer as a
    // network error, so a pulled cable never leaves the window waiting for ever.
    long stallTimeoutSeconds = 60;
};

struct DownloadResult {
    DownloadOutcome outcome = DownloadOutcome::NetworkError;
    long status = 0;
    std::int64_t contentLength = -1;
    std::int64_t received = 0;
    std::string error;
};

// GET `url` without any cache, following redirects, TLS verified for https, proxies from the
// environment. A transfer that ends before its Content-Length is a NetworkError.
DownloadResult download(const std::string& url, DownloadSink& sink, TransferGate& gate,
                        const DownloadOptions& options = {});

} // namespace net
