#pragma once

// Runs the transfers of one libcurl easy handle through a multi handle of its own, so
// that the connection (an FTP control connection with its login) stays open from one
// request to the next, and waits on the transfer's sockets a short slice at a time.
//
// Why not curl_easy_perform: libcurl 7.88 (Debian 12) sometimes sets no timer for the
// step after an FTPS reply (the data connection that follows EPSV), and its own loop
// then sleeps a full second with nothing to wait for. Waking after a millisecond ends
// such a stall; while sockets are busy the poll returns at once anyway.
//
// One thread uses an object, like the easy handle it drives.

#include <curl/curl.h>

namespace corvane {

class CurlDriver {
  public:
    CurlDriver() = default;
    ~CurlDriver();  // closes the connections still open

    CurlDriver(const CurlDriver&) = delete;
    CurlDriver& operator=(const CurlDriver&) = delete;

    // Runs the request set up on `easy` to its end, as curl_easy_perform does, and
    // answers its result.
    CURLcode Perform(CURL* easy);

    // Closes the connections kept open (an FTP server is told QUIT). The next Perform
    // connects anew.
    void Close();

  private:
    CURLM* m_multi = nullptr;
};

// curl_global_init, once per process before the first handle.
void InitCurlOnce();

}  // namespace corvane
