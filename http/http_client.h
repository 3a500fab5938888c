#pragma once

// One synchronous HTTP exchange over WinHTTP: the request is sent (with an
// optional body from memory or from a file), and the response body is either
// collected in memory up to a limit or handed chunk by chunk to a callback.
// Every outcome, network failures included, comes back as an HttpResponse;
// nothing is thrown except by exhausted memory or by a callback. Nothing is
// shared between two calls (no connection pool, no cookies). TLS 1.2 or newer
// only. Redirects are followed, except that an https request never ends at an
// http address: that is refused with its own sentence. Windows only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orva {

// The user agent of every request.
inline constexpr char kUserAgent[] = "Orva-Setup";

// A body file is read and written in pieces of this many bytes.
inline constexpr std::size_t kUploadChunkBytes = 262'144;

// What to send. Build it with the defaults and change the fields needed.
struct HttpRequest {
    std::string method = "GET";        // UTF-8 verb
    std::string url;                   // UTF-8 absolute http or https URL, with optional query
    std::vector<std::string> headers;  // whole header lines ("Name: value"), no line ends
    std::string body;                  // request body bytes; ignored when |bodyFile| is set
    std::wstring bodyFile;             // when not empty, the body is this file's content
    std::uint32_t resolveTimeoutMs = 8000;
    std::uint32_t connectTimeoutMs = 8000;
    std::uint32_t sendTimeoutMs = 30000;
    std::uint32_t receiveTimeoutMs = 30000;  // for each wait for response data
};

// The outcome of one exchange.
struct HttpResponse {
    // True once the status line and headers arrived; false again when reading
    // the body failed or the body was over the limit, and false with nothing
    // of the answer kept when an https request was redirected to http. Stays
    // true when the data callback stopped the transfer.
    bool ok = false;
    std::uint32_t status = 0;         // HTTP status; 0 when none arrived or it was unreadable
    std::string body;                 // the body, unless it was streamed to the data callback
    std::uint64_t contentLength = 0;  // Content-Length header; 0 when absent or not a number
    std::string contentRange;         // Content-Range header as sent; empty when absent
    bool cancelled = false;           // a callback returned false and the exchange stopped
    std::string error;                // empty on success; else one sentence, no final full stop
    // The Windows or WinHTTP error number (GetLastError) behind |error|; 0 when
    // there is no error, or when the failure is not a platform error (a bad
    // address, a body over a limit, a callback that stopped the exchange).
    std::uint32_t errorCode = 0;
};

// Receives each chunk of a streamed body in order: the bytes (valid only
// during the call; |length| is never 0) and the response's Content-Length (0
// when the server sent none). Returning false stops the transfer.
using HttpDataCallback = std::function<bool(const std::uint8_t* data, std::uint64_t length,
                                            std::uint64_t contentLength)>;

// What becomes of the body of an answer, decided once its head is in.
enum class HeadAnswer {
    kStream,   // each chunk goes to the data callback
    kCollect,  // it is kept in HttpResponse::body, up to the exchange's limit
    kStop,     // none of it is read: the exchange ends there, with cancelled set
};

// Called once the status line and the headers of the answer have arrived and
// before any of its body is read, with the answer so far (ok, status,
// contentLength, contentRange); its answer decides what becomes of the body.
using HttpHeadCallback = std::function<HeadAnswer(const HttpResponse& head)>;

// Called after each piece of a body file has been sent, with the body bytes
// sent so far and the file's size. Returning false stops the exchange.
using HttpUploadProgress = std::function<bool(std::uint64_t sent, std::uint64_t total)>;

// The callbacks of one exchange, each of which may be empty. Without a head
// callback every body is collected; a body to stream without a data callback
// is collected too.
struct HttpCallbacks {
    HttpHeadCallback onHead;
    HttpDataCallback onData;
    HttpUploadProgress onUploadProgress;  // only for a body sent from HttpRequest::bodyFile
};

// The head rule of most callers that stream: the body of a 200 or 206
// (partial content) answer to the data callback, any other collected.
HeadAnswer streamSuccess(const HttpResponse& head);

// Carries out |request| on the calling thread and returns when the exchange has
// ended; the callbacks are called on this thread. A collected body of more
// than |maxBodyBytes| bytes fails with ok false. A body that ends before the
// length its Content-Length announced fails with ok false as a broken
// connection, whichever way the connection ended (Windows reports the break
// itself; Wine ends such a body as if it were whole).
HttpResponse performHttpRequest(const HttpRequest& request, std::uint64_t maxBodyBytes,
                                const HttpCallbacks& callbacks = {});

}  // namespace orva
