#include "net/Internet.h"

#include <curl/curl.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace net {

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string schemeOf(const std::string& url) {
    const auto pos = url.find("://");
    if (pos == std::string::npos) {
        return {};
    }
    return lower(url.substr(0, pos));
}

bool is2xx(long status) {
    return status >= 200 && status <= 299;
}

// Settings every request shares: only http and https, also across redirects, TLS verified,
// proxies taken from the environment by libcurl itself.
void commonOptions(CURL* curl, const std::string& url) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
}

} // namespace

ConnectedState connectedStateFrom(const std::vector<InterfaceInfo>& interfaces, bool hostIsLoopback,
                                  bool proxyConfigured) {
    ConnectedState state;
    const bool outsideLink =
        std::any_of(interfaces.begin(), interfaces.end(),
                    [](const InterfaceInfo& i) { return i.up && !i.loopback; });
    const bool loopbackUp = std::any_of(interfaces.begin(), interfaces.end(),
                                        [](const InterfaceInfo& i) { return i.up && i.loopback; });
    if (outsideLink || (hostIsLoopback && loopbackUp)) {
        state.connected = true;
        state.flags |= kConnectionLan;
    }
    if (proxyConfigured) {
        state.flags |= kConnectionProxy;
    }
    if (!interfaces.empty()) {
        state.flags |= kConnectionConfigured;
    }
    if (!state.connected) {
        state.flags |= kConnectionOffline;
    }
    return state;
}

std::vector<InterfaceInfo> listInterfaces() {
    std::vector<InterfaceInfo> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return out;
    }
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        InterfaceInfo info;
        info.name = it->ifa_name ? it->ifa_name : "";
        info.up = (it->ifa_flags & IFF_UP) && (it->ifa_flags & IFF_RUNNING);
        info.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        out.push_back(info);
    }
    freeifaddrs(list);
    return out;
}

bool isLoopbackHost(const std::string& hostAndPort) {
    std::string host = lower(hostAndPort);
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        host = host.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else if (std::count(host.begin(), host.end(), ':') == 1) {
        host = host.substr(0, host.find(':'));
    }
    if (host == "localhost" || host == "::1") {
        return true;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    return false;
}

bool proxyFromEnvironment() {
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

ConnectedState connectedState(const std::string& hostAndPort) {
    return connectedStateFrom(listInterfaces(), isLoopbackHost(hostAndPort),
                              proxyFromEnvironment());
}

std::string hostOfUrl(const std::string& url) {
    auto start = url.find("://");
    start = (start == std::string::npos) ? 0 : start + 3;
    const auto end = url.find_first_of("/?#", start);
    std::string authority =
        url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const auto at = authority.rfind('@');
    if (at != std::string::npos) {
        authority = authority.substr(at + 1);
    }
    return authority;
}

// ---- the single first read ----

namespace {

struct FirstReadState {
    CURL* curl = nullptr;
    std::string* data = nullptr;
    std::size_t maxBytes = 0;
    bool badStatus = false;
};

std::size_t firstReadWrite(char* ptr, std::size_t size, std::size_t nmemb, void* user) {
    auto* st = static_cast<FirstReadState*>(user);
    const std::size_t n = size * nmemb;
    long status = 0;
    curl_easy_getinfo(st->curl, CURLINFO_RESPONSE_CODE, &status);
    if (!is2xx(status)) {
        st->badStatus = true;
        return 0;
    }
    const std::size_t room = st->maxBytes - st->data->size();
    const std::size_t take = std::min(room, n);
    st->data->append(ptr, take);
    // Returning less than was offered ends the transfer: nothing past the first read.
    return (st->data->size() >= st->maxBytes) ? take : n;
}

int firstReadProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return (cancel != nullptr && cancel->load()) ? 1 : 0;
}

} // namespace

FirstRead fetchFirstRead(const std::string& url, const std::string& agent, std::size_t maxBytes,
                         long timeoutSeconds, const std::atomic<bool>* cancel) {
    FirstRead result;
    const std::string scheme = schemeOf(url);
    if (scheme != "http" && scheme != "https") {
        result.error = "unsupported address";
        return result;
    }
    globalInit();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        result.error = "no session";
        return result;
    }
    FirstReadState st;
    st.curl = curl;
    st.data = &result.data;
    st.maxBytes = maxBytes;
    char errbuf[CURL_ERROR_SIZE] = {};
    commonOptions(curl, url);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE,
                     static_cast<long>(std::max<std::size_t>(maxBytes, 1024)));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, firstReadWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &st);
    if (cancel != nullptr) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, firstReadProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, cancel);
    }
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    const bool cutByLimit =
        rc == CURLE_WRITE_ERROR && !st.badStatus && result.data.size() >= maxBytes;
    if ((rc == CURLE_OK || cutByLimit) && is2xx(result.status)) {
        result.opened = true;
    } else {
        result.data.clear();
        result.error = errbuf[0] ? errbuf : curl_easy_strerror(rc);
    }
    curl_easy_cleanup(curl);
    return result;
}

// ---- the gate ----

bool TransferGate::pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool wasRunning = !paused_;
    paused_ = true;
    return wasRunning;
}

void TransferGate::resume() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_ = false;
    }
    cv_.notify_all();
}

void TransferGate::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        paused_ = false;
    }
    cv_.notify_all();
}

bool TransferGate::paused() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return paused_;
}

bool TransferGate::waitWhilePaused() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return !paused_ || stopped_.load(); });
    return !stopped_.load();
}

// ---- the download ----

namespace {

using Clock = std::chrono::steady_clock;

struct DownloadState {
    CURL* curl = nullptr;
    DownloadSink* sink = nullptr;
    TransferGate* gate = nullptr;
    const DownloadOptions* options = nullptr;
    DownloadResult* result = nullptr;
    std::string pending; // less than one chunk, waiting for more bytes
    bool begun = false;
    bool badStatus = false;
    bool refused = false;     // the sink would not begin
    bool writeFailed = false; // the sink could not write
    bool stalled = false;
    Clock::time_point lastBytes = Clock::now();
};

std::int64_t contentLengthOf(CURL* curl) {
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
        return -1;
    }
    return length;
}

bool beginSink(DownloadState* st) {
    st->begun = true;
    st->result->contentLength = contentLengthOf(st->curl);
    if (!st->sink->begin(st->result->contentLength)) {
        st->refused = true;
        return false;
    }
    return true;
}

std::size_t downloadWrite(char* ptr, std::size_t size, std::size_t nmemb, void* user) {
    auto* st = static_cast<DownloadState*>(user);
    const std::size_t n = size * nmemb;
    if (!st->begun) {
        curl_easy_getinfo(st->curl, CURLINFO_RESPONSE_CODE, &st->result->status);
        if (!is2xx(st->result->status)) {
            st->badStatus = true;
            return 0;
        }
        if (!beginSink(st)) {
            return 0;
        }
    }
    // The gate sits between chunks: while a question is open the transfer is held here.
    if (!st->gate->waitWhilePaused()) {
        return 0;
    }
    st->lastBytes = Clock::now();
    st->result->received += static_cast<std::int64_t>(n);
    st->pending.append(ptr, n);
    const std::size_t chunk = st->options->chunkSize;
    std::size_t used = 0;
    while (st->pending.size() - used >= chunk) {
        if (!st->sink->chunk(st->pending.data() + used, chunk, false)) {
            st->writeFailed = true;
            return 0;
        }
        used += chunk;
    }
    st->pending.erase(0, used);
    return n;
}

int downloadProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* st = static_cast<DownloadState*>(user);
    if (st->gate->stopped()) {
        return 1;
    }
    if (st->gate->paused()) {
        // Time spent holding the transfer for a question is not a stall.
        st->lastBytes = Clock::now();
        return 0;
    }
    const auto idle = Clock::now() - st->lastBytes;
    if (idle > std::chrono::seconds(st->options->stallTimeoutSeconds)) {
        st->stalled = true;
        return 1;
    }
    return 0;
}

} // namespace

DownloadResult download(const std::string& url, DownloadSink& sink, TransferGate& gate,
                        const DownloadOptions& options) {
    DownloadResult result;
    const std::string scheme = schemeOf(url);
    if (scheme.empty()) {
        result.outcome = DownloadOutcome::NetworkError;
        result.error = "the address has no scheme";
        return result;
    }
    if (scheme != "http" && scheme != "https") {
        result.outcome = DownloadOutcome::BadScheme;
        return result;
    }
    globalInit();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        result.error = "no session";
        return result;
    }
    DownloadState st;
    st.curl = curl;
    st.sink = &sink;
    st.gate = &gate;
    st.options = &options;
    st.result = &result;
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    commonOptions(curl, url);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE,
                     static_cast<long>(std::max<std::size_t>(options.chunkSize, 1024)));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, downloadWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &st);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, downloadProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &st);
    st.lastBytes = Clock::now();
    const CURLcode rc = curl_easy_perform(curl);
    if (result.status == 0) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    }
    if (gate.stopped()) {
        result.outcome = DownloadOutcome::Stopped;
    } else if (st.badStatus || st.refused || rc == CURLE_HTTP_RETURNED_ERROR) {
        result.outcome = DownloadOutcome::NotStarted;
    } else if (st.writeFailed) {
        result.outcome = DownloadOutcome::NetworkError;
        result.error = "the installer file could not be written";
    } else if (st.stalled) {
        result.outcome = DownloadOutcome::NetworkError;
        result.error = "the transfer stalled";
    } else if (rc != CURLE_OK) {
        result.outcome = DownloadOutcome::NetworkError;
        result.error = errbuf[0] ? errbuf : curl_easy_strerror(rc);
    } else if (!is2xx(result.status)) {
        result.outcome = DownloadOutcome::NotStarted;
    } else if (!st.begun && !beginSink(&st)) {
        result.outcome = DownloadOutcome::NotStarted; // an empty body whose file cannot be made
    } else if (!sink.chunk(st.pending.data(), st.pending.size(), true)) {
        result.outcome = DownloadOutcome::NetworkError;
        result.error = "the installer file could not be written";
    } else if (result.contentLength >= 0 && result.received != result.contentLength) {
        // A transfer that ends before its announced length is broken, never finished.
        result.outcome = DownloadOutcome::NetworkError;
        result.error = "the transfer ended before its announced length";
    } else {
        result.outcome = DownloadOutcome::Complete;
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return result;
}

} // namespace net
