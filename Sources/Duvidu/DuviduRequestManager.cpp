#include "Duvidu/DuviduRequestManager.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

#include "Duvidu/DuviduLog.h"

namespace duvidu {

namespace {

void initializeCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string trimmed(std::string text)
{
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

// Header fields of the final response; an interim response (100 Continue) starts the collection anew.
size_t collectHeader(char* line, size_t size, size_t count, void* user)
{
    auto* headers = static_cast<std::map<std::string, std::string>*>(user);
    const std::string text(line, size * count);
    if (text.rfind("HTTP/", 0) == 0) {
        headers->clear();
    } else if (auto colon = text.find(':'); colon != std::string::npos) {
        std::string name = trimmed(text.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        (*headers)[name] = trimmed(text.substr(colon + 1));
    }
    return size * count;
}

size_t discardBody(char*, size_t size, size_t count, void*)
{
    return size * count;
}

}  // namespace

DuviduRequestManager::DuviduRequestManager()
{
    initializeCurl();
    multi_ = curl_multi_init();
}

DuviduRequestManager::~DuviduRequestManager()
{
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void DuviduRequestManager::cancel()
{
    cancelled_.store(true);
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

std::optional<DuviduHttpResponse> DuviduRequestManager::send(const DuviduHttpRequest& request)
{
    if (cancelled_.load()) return std::nullopt;
    auto* multi = static_cast<CURLM*>(multi_);
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    if (!easy || !multi) return std::nullopt;

    curl_slist* fields = nullptr;
    for (const auto& [name, value] : request.headers) fields = curl_slist_append(fields, (name + ": " + value).c_str());
    // Without this, curl waits for a "100 Continue" before sending a larger body.
    fields = curl_slist_append(fields, "Expect:");
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> fieldList(fields, curl_slist_free_all);

    DuviduHttpResponse response;
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(request.body.data()));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, fields);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &response.headers);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, 15000L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 30L);

    curl_multi_add_handle(multi, handle);
    CURLcode result = CURLE_OK;
    bool finished = false;
    while (!finished && !cancelled_.load()) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
                result = message->data.result;
                finished = true;
            }
        }
        if (!finished && curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
    }
    long statusCode = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &statusCode);
    curl_multi_remove_handle(multi, handle);

    if (!finished || (result != CURLE_OK && statusCode == 0)) {
        DUVIDU_LOG_DEBUG(std::string("Request failed: ") +
                         (finished ? curl_easy_strerror(result) : "cancelled or broken off"));
        return std::nullopt;
    }
    // A status line arrived: the service answered, even if the body after it broke off.
    response.statusCode = statusCode;
    return response;
}

}  // namespace duvidu
