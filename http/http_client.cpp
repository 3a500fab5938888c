#include "http/http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cwctype>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "common/text.h"
#include "common/win32_handles.h"
#include "http/network_errors.h"
#include "http/tls_fallback.h"
#include "http/winhttp_handle.h"

// Older SDK headers know TLS 1.3 by no name; the value is the one Windows uses.
#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
#define WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 0x00002000
#endif

namespace orva {
namespace {

// Buffer sizes for cracking a URL, in UTF-16 units including the terminating
// zero. A URL whose part does not fit is refused, so cracking allocates nothing.
constexpr DWORD kHostNameUnits = 256;
constexpr DWORD kUrlPathUnits = 2048;
constexpr DWORD kExtraInfoUnits = 2048;

// The Content-Length header is read as text into 32 UTF-16 units (64 bytes);
// a longer value does not fit, and counts as absent.
constexpr DWORD kContentLengthUnits = 32;

// A failure that no platform error number explains: errorCode stays 0.
void fail(HttpResponse& response, HttpFailure failure) {
    response.error = describeHttpFailure(failure);
}

// A failure whose cause is the Windows error |code| of a call outside WinHTTP.
void fail(HttpResponse& response, HttpFailure failure, DWORD code) {
    response.error = describeHttpFailure(failure);
    response.errorCode = code;
}

// A failed WinHTTP call: |code| is its last-error value, |host| the request's.
void failWinHttp(HttpResponse& response, DWORD code, const std::wstring& host) {
    response.error = describeWinHttpError(code, host);
    response.errorCode = code;
}

// An https request that a redirect took to plain http: refused, and nothing
// of the answer is kept. |code| is the WinHTTP error that stopped the
// redirect, or 0 when it was the client that found the insecure address.
void refuseRedirectToHttp(HttpResponse& response, const std::wstring& host, DWORD code) {
    response = HttpResponse{};
    response.error = describeHttpFailure(HttpFailure::kRedirectedToHttp, host);
    response.errorCode = code;
}

// Asks for TLS 1.2 and 1.3 and nothing older, or for TLS 1.2 alone. A
// Windows that does not know TLS 1.3 refuses the whole call when it sees that
// flag, so it is then asked for TLS 1.2 alone. Should that be refused too (a
// WinHTTP without TLS 1.2), the system's own choice stays in force: such a
// system cannot reach a server that, like the reference service, accepts
// nothing older than TLS 1.2, and the failed handshake is reported as any
// other. True when the TLS 1.3 flag was taken.
// Wine 8 accepts any value here and speaks TLS 1.2 whatever is set.
bool limitTlsVersions(HINTERNET session, TlsVersions versions) {
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (versions == TlsVersions::k12And13 &&
        WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
        return true;
    }
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
    return false;
}

// True when |text|, after any leading white space, begins with the scheme
// "http:" in any mix of cases (and so not with "https:").
bool isHttpAddress(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i]) != 0) {
        ++i;
    }
    constexpr std::wstring_view kScheme = L"http:";
    if (text.size() - i < kScheme.size()) {
        return false;
    }
    for (std::size_t k = 0; k < kScheme.size(); ++k) {
        wchar_t c = text[i + k];
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        if (c != kScheme[k]) {
            return false;
        }
    }
    return true;
}

// The text of a header of the answer (a WINHTTP_QUERY_ value), of whatever
// length; nothing when the answer has no such header.
std::optional<std::wstring> queryHeaderText(HINTERNET request, DWORD query) {
    DWORD bytes = 0;
    if (WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                            &bytes, WINHTTP_NO_HEADER_INDEX) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

// The address the answer came from, after any redirects; nothing when
// WinHTTP does not say (Wine 8 refuses the question with error 87).
std::optional<std::wstring> queryFinalUrl(HINTERNET request) {
    DWORD bytes = 0;
    if (WinHttpQueryOption(request, WINHTTP_OPTION_URL, nullptr, &bytes) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_URL, text.data(), &bytes)) {
        return std::nullopt;
    }
    // The count may or may not include the terminating zero: cut at the first.
    text.resize(std::min<std::size_t>(bytes / sizeof(wchar_t), text.size()));
    text.resize(std::wstring_view(text.c_str()).size());
    return text;
}

// True when the answer to an https request came over plain http, or is a
// redirect to an http address that WinHTTP's policy stopped (Windows then
// hands the 3xx answer itself to the caller). Either is checked on its own:
// the final address is not available everywhere (not under Wine), and the
// redirect answer is what is left when WinHTTP did not follow.
bool leftTls(HINTERNET request, DWORD status) {
    if (const std::optional<std::wstring> url = queryFinalUrl(request);
        url && isHttpAddress(*url)) {
        return true;
    }
    if (status < 300 || status > 399) {
        return false;
    }
    const std::optional<std::wstring> location = queryHeaderText(request, WINHTTP_QUERY_LOCATION);
    return location && isHttpAddress(*location);
}

// Reads the value of a Content-Length header: leading white space is skipped,
// the decimal digits that follow are the value (0 when there are none, so a
// sign or any other text gives 0), and a value beyond 64 bits gives the
// largest one.
std::uint64_t parseContentLength(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i]) != 0) {
        ++i;
    }
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - L'0');
        if (value > (kMax - digit) / 10) {
            return kMax;
        }
        value = value * 10 + digit;
    }
    return value;
}

// Sends the whole of |path| as the request body, in pieces of
// kUploadChunkBytes, after sending the request with its headers. On failure
// fills |response| and returns false. The file and the buffer are released
// before the function returns, so neither is held while the answer is awaited.
bool sendFileBody(HINTERNET request, const std::wstring& path, const std::wstring& headerBlock,
                  const std::wstring& host, const HttpUploadProgress& onUploadProgress,
                  HttpResponse& response) {
    // CreateFileW follows symbolic links; the sharing lets other programs keep
    // the file open, even write to it, while it is sent.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER fileSize{};
    if (!file || !GetFileSizeEx(file.get(), &fileSize)) {
        fail(response, HttpFailure::kFileUnreadable, GetLastError());
        return false;
    }
    if (fileSize.QuadPart < 0 || fileSize.QuadPart > std::numeric_limits<DWORD>::max()) {
        fail(response, HttpFailure::kFileUnreadable);
        return false;
    }
    const auto size = static_cast<DWORD>(fileSize.QuadPart);

    if (!WinHttpSendRequest(
            request, headerBlock.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headerBlock.c_str(),
            headerBlock.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, size,
            0)) {
        failWinHttp(response, GetLastError(), host);
        return false;
    }

    std::vector<std::uint8_t> buffer(kUploadChunkBytes);
    DWORD sent = 0;
    while (sent < size) {
        // Never more than the size announced in the request: a file that grew
        // since its size was taken must not put bytes past the body's end.
        const DWORD wanted = std::min<DWORD>(static_cast<DWORD>(buffer.size()), size - sent);
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), wanted, &read, nullptr)) {
            fail(response, HttpFailure::kFileUnreadable, GetLastError());
            return false;
        }
        if (read == 0) {
            // The file shrank before all was sent.
            fail(response, HttpFailure::kFileUnreadable);
            return false;
        }
        DWORD written = 0;
        if (!WinHttpWriteData(request, buffer.data(), read, &written) || written != read) {
            failWinHttp(response, GetLastError(), host);
            return false;
        }
        sent += written;
        if (onUploadProgress && !onUploadProgress(sent, size)) {
            response.cancelled = true;
            fail(response, HttpFailure::kStopped);
            return false;
        }
    }
    return true;
}

}  // namespace

namespace {

// Where a request goes.
struct Target {
    std::wstring host;
    std::wstring object;  // the path with the query: /api/update/setup?version=2.1.0
    INTERNET_PORT port = 0;
    bool secure = false;  // https
};

// Cracks |url| into |target|; false, with |response| failed, when it is no
// web address with a host.
bool crackUrl(const std::wstring& url, Target& target, HttpResponse& response) {
    wchar_t hostBuffer[kHostNameUnits] = {};
    wchar_t pathBuffer[kUrlPathUnits] = {};
    wchar_t extraBuffer[kExtraInfoUnits] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = hostBuffer;
    parts.dwHostNameLength = kHostNameUnits;
    parts.lpszUrlPath = pathBuffer;
    parts.dwUrlPathLength = kUrlPathUnits;
    parts.lpszExtraInfo = extraBuffer;
    parts.dwExtraInfoLength = kExtraInfoUnits;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
        fail(response, HttpFailure::kNotAWebAddress, GetLastError());
        return false;
    }
    // A URL without a host ("http:///list") cracks, but there is nobody to
    // ask: it is refused here rather than reported as a lost connection.
    if (parts.dwHostNameLength == 0) {
        fail(response, HttpFailure::kNotAWebAddress);
        return false;
    }
    target.host.assign(hostBuffer, parts.dwHostNameLength);
    target.object.assign(pathBuffer, parts.dwUrlPathLength);
    target.object.append(extraBuffer, parts.dwExtraInfoLength);
    target.port = parts.nPort;
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return true;
}

// The three handles of one exchange, declared in the order of opening, so
// that they close in the reverse order (request, connection, session) on
// every way out.
struct Exchange {
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;
};

// Opens the session with its time-outs and TLS versions (|offered13| as for
// TlsAttempt), the connection, and the request with its redirect policy.
// False, with |response| failed, when one cannot be had.
bool openExchange(const HttpRequest& request, const Target& target, TlsVersions versions,
                  bool& offered13, Exchange& exchange, HttpResponse& response) {
    exchange.session.reset(WinHttpOpen(asciiToWide(kUserAgent).c_str(),
                                       WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!exchange.session) {
        failWinHttp(response, GetLastError(), target.host);
        return false;
    }
    // WinHTTP takes int: 0xFFFFFFFF arrives as -1, "no time-out"; other
    // values above INT_MAX arrive negative, and WinHTTP refuses the call. The
    // result is not examined: WinHTTP's defaults stay in force when it fails.
    WinHttpSetTimeouts(exchange.session.get(), static_cast<int>(request.resolveTimeoutMs),
                       static_cast<int>(request.connectTimeoutMs),
                       static_cast<int>(request.sendTimeoutMs),
                       static_cast<int>(request.receiveTimeoutMs));
    offered13 = limitTlsVersions(exchange.session.get(), versions);

    exchange.connection.reset(
        WinHttpConnect(exchange.session.get(), target.host.c_str(), target.port, 0));
    if (!exchange.connection) {
        failWinHttp(response, GetLastError(), target.host);
        return false;
    }
    exchange.request.reset(
        WinHttpOpenRequest(exchange.connection.get(), utf8ToWide(request.method).c_str(),
                           target.object.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!exchange.request) {
        failWinHttp(response, GetLastError(), target.host);
        return false;
    }
    // Redirects are followed, but never from https to http, so that a request
    // made over TLS is not sent again in clear text. This is WinHTTP's
    // default, asked for here so that it does not rest on a default; the
    // answer is checked again (receiveHead) all the same, since a WinHTTP that
    // does not honour the policy would follow silently.
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(exchange.request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy,
                     sizeof(redirectPolicy));
    return true;
}

// The request's header lines as one block, each ended by CR LF.
std::wstring headerBlockOf(const HttpRequest& request) {
    std::wstring block;
    for (const std::string& line : request.headers) {
        block += utf8ToWide(line);
        block += L"\r\n";
    }
    return block;
}

// Sends the request with HttpRequest::body (possibly empty) as its body. On
// failure fills |response| and returns false.
bool sendFromMemory(HINTERNET handle, const HttpRequest& request, const std::wstring& headerBlock,
                    const std::wstring& host, HttpResponse& response) {
    // The length travels as a 32-bit count: a longer body cannot be sent
    // whole, and a cut one would be a different request.
    if (request.body.size() > std::numeric_limits<DWORD>::max()) {
        fail(response, HttpFailure::kBodyTooLargeToSend);
        return false;
    }
    const auto length = static_cast<DWORD>(request.body.size());
    void* data =
        request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(request.body.data());
    if (!WinHttpSendRequest(
            handle, headerBlock.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headerBlock.c_str(),
            headerBlock.empty() ? 0 : static_cast<DWORD>(-1), data, length, length, 0)) {
        failWinHttp(response, GetLastError(), host);
        return false;
    }
    return true;
}

// Waits for the answer and reads its head into |response|: the status, the
// Content-Length (|announced| says whether there was one) and the
// Content-Range. An https request that ended at an http address is refused.
// False, with |response| failed, when no head can be had.
bool receiveHead(HINTERNET handle, const Target& target, HttpResponse& response, bool& announced) {
    if (!WinHttpReceiveResponse(handle, nullptr)) {
        const DWORD code = GetLastError();
        // The number WinHTTP gives for a redirect it would not follow (Wine's
        // does so for https to http; Windows may instead hand over the 3xx
        // answer, checked below). It gives the same number after too many
        // redirects, and leaves no answer to tell the two apart; for an https
        // request the refusal is the safer reading.
        if (target.secure && code == ERROR_WINHTTP_REDIRECT_FAILED) {
            refuseRedirectToHttp(response, target.host, code);
        } else {
            failWinHttp(response, code, target.host);
        }
        return false;
    }
    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                             WINHTTP_NO_HEADER_INDEX)) {
        status = 0;
    }
    if (target.secure && leftTls(handle, status)) {
        refuseRedirectToHttp(response, target.host, 0);
        return false;
    }
    response.status = status;
    wchar_t lengthText[kContentLengthUnits] = {};
    DWORD lengthSize = sizeof(lengthText);
    announced =
        WinHttpQueryHeaders(handle, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                            lengthText, &lengthSize, WINHTTP_NO_HEADER_INDEX) != 0;
    if (announced) {
        response.contentLength =
            parseContentLength(std::wstring_view(lengthText, lengthSize / sizeof(wchar_t)));
    }
    if (const std::optional<std::wstring> range =
            queryHeaderText(handle, WINHTTP_QUERY_CONTENT_RANGE)) {
        response.contentRange = wideToUtf8(*range);
    }
    return true;
}

// Reads the body, to |onData| (|streamed|) or into HttpResponse::body up to
// |maxBodyBytes|. A body that ends before an announced Content-Length fails
// as a broken connection, unless the answer never has one (|bodiless|).
void readBody(HINTERNET handle, bool streamed, bool announced, bool bodiless,
              std::uint64_t maxBodyBytes, const HttpDataCallback& onData, const std::wstring& host,
              HttpResponse& response) {
    std::uint64_t received = 0;
    // One buffer, sized to what WinHTTP says is ready, so that a streamed body
    // never holds more than one chunk in memory.
    std::vector<std::uint8_t> chunk;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(handle, &available)) {
            response.ok = false;
            failWinHttp(response, GetLastError(), host);
            return;
        }
        if (available == 0) {
            break;
        }
        // Checked before reading, so that a body of exactly |maxBodyBytes|
        // bytes is accepted and not one byte more is kept.
        if (!streamed && available > maxBodyBytes - response.body.size()) {
            response.ok = false;
            fail(response, HttpFailure::kAnswerTooLarge);
            return;
        }
        chunk.resize(available);
        DWORD read = 0;
        if (!WinHttpReadData(handle, chunk.data(), available, &read)) {
            response.ok = false;
            failWinHttp(response, GetLastError(), host);
            return;
        }
        if (read == 0) {
            break;
        }
        received += read;
        if (streamed) {
            if (!onData(chunk.data(), read, response.contentLength)) {
                response.cancelled = true;
                fail(response, HttpFailure::kStopped);
                return;
            }
        } else {
            response.body.append(reinterpret_cast<const char*>(chunk.data()), read);
        }
    }
    if (announced && !bodiless && received < response.contentLength) {
        // The connection ended before the body did: what arrived is a part.
        response.ok = false;
        failWinHttp(response, ERROR_WINHTTP_CONNECTION_ERROR, host);
    }
}

// One exchange with the TLS versions |versions|; |offered13| as for
// TlsAttempt. The steps in their order: crack the address, open the
// exchange, send, read the head, let the head callback decide, read the body.
HttpResponse exchange(const HttpRequest& request, std::uint64_t maxBodyBytes,
                      const HttpCallbacks& callbacks, TlsVersions versions, bool& offered13) {
    HttpResponse response;
    Target target;
    if (!crackUrl(utf8ToWide(request.url), target, response)) {
        return response;
    }
    Exchange handles;
    if (!openExchange(request, target, versions, offered13, handles, response)) {
        return response;
    }
    const std::wstring headerBlock = headerBlockOf(request);
    const bool sent =
        request.bodyFile.empty()
            ? sendFromMemory(handles.request.get(), request, headerBlock, target.host, response)
            : sendFileBody(handles.request.get(), request.bodyFile, headerBlock, target.host,
                           callbacks.onUploadProgress, response);
    bool announced = false;
    if (!sent || !receiveHead(handles.request.get(), target, response, announced)) {
        return response;
    }
    response.ok = true;
    const HeadAnswer answer = callbacks.onHead ? callbacks.onHead(response) : HeadAnswer::kCollect;
    if (answer == HeadAnswer::kStop) {
        response.cancelled = true;
        fail(response, HttpFailure::kStopped);
        return response;
    }
    // Answers that never have a body, whatever their Content-Length says.
    const bool bodiless = request.method == "HEAD" || response.status < 200 ||
                          response.status == 204 || response.status == 304;
    readBody(handles.request.get(), answer == HeadAnswer::kStream && callbacks.onData, announced,
             bodiless, maxBodyBytes, callbacks.onData, target.host, response);
    return response;
}

}  // namespace

HeadAnswer streamSuccess(const HttpResponse& head) {
    return head.status == 200 || head.status == 206 ? HeadAnswer::kStream : HeadAnswer::kCollect;
}

HttpResponse performHttpRequest(const HttpRequest& request, std::uint64_t maxBodyBytes,
                                const HttpCallbacks& callbacks) {
    return withTls12Fallback([&](TlsVersions versions, bool& offered13) {
        return exchange(request, maxBodyBytes, callbacks, versions, offered13);
    });
}

}  // namespace orva
