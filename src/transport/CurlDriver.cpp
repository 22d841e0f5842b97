#include "transport/CurlDriver.h"

#include <algorithm>
#include <mutex>

namespace corvane {
namespace {

// How long to wait on the sockets before libcurl is asked again whether it can go on:
// the first wait is short, so a step libcurl set no timer for is taken at once; each wait
// in a row that saw nothing doubles it, so a server that takes long to answer does not
// keep the loop busy.
constexpr int kFirstSliceMs = 1;
constexpr int kLongestSliceMs = 64;

}  // namespace

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlDriver::~CurlDriver() {
    Close();
}

void CurlDriver::Close() {
    if (m_multi != nullptr) {
        curl_multi_cleanup(m_multi);
        m_multi = nullptr;
    }
}

CURLcode CurlDriver::Perform(CURL* easy) {
    if (m_multi == nullptr) {
        InitCurlOnce();
        m_multi = curl_multi_init();
        if (m_multi == nullptr) {
            return CURLE_OUT_OF_MEMORY;
        }
    }
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    CURLcode result = CURLE_OK;
    bool done = false;
    int slice = kFirstSliceMs;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                result = message->data.result;
                done = true;
            }
        }
        if (!done && running > 0) {
            int ready = 0;
            if (curl_multi_poll(m_multi, nullptr, 0, slice, &ready) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            slice = ready > 0 ? kFirstSliceMs : std::min(slice * 2, kLongestSliceMs);
        }
        if (!done && running == 0) {
            // Ended without libcurl saying how: never taken for a success.
            result = CURLE_GOT_NOTHING;
            break;
        }
    }
    // The connection goes back to this multi handle's pool for the next request.
    curl_multi_remove_handle(m_multi, easy);
    return result;
}

}  // namespace corvane
