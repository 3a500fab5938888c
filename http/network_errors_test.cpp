#include "http/network_errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace orva {
namespace {

struct ErrorCase {
    std::uint32_t code;
    const char* sentence;  // for the host "updates.example"
};

TEST(DescribeWinHttpError, PicksTheSentenceByTheExactCode) {
    const ErrorCase kCases[] = {
        // ERROR_WINHTTP_TIMEOUT.
        {12002, "updates.example did not answer in time"},
        // Name not resolved, cannot connect, connection error.
        {12007,
         "Orva could not reach updates.example: this computer seems to have no internet "
         "connection"},
        {12029,
         "Orva could not reach updates.example: this computer seems to have no internet "
         "connection"},
        {12030,
         "Orva could not reach updates.example: this computer seems to have no internet "
         "connection"},
        // Certificate date, unknown authority, secure failure.
        {12037,
         "The connection to updates.example could not be secured (is the computer's clock "
         "right?)"},
        {12045,
         "The connection to updates.example could not be secured (is the computer's clock "
         "right?)"},
        {12175,
         "The connection to updates.example could not be secured (is the computer's clock "
         "right?)"},
        // Neighbours of the groups' codes belong to no group.
        {12001, "The request to updates.example failed (WinHTTP error 12001)"},
        {12003, "The request to updates.example failed (WinHTTP error 12003)"},
        {12006, "The request to updates.example failed (WinHTTP error 12006)"},
        {12028, "The request to updates.example failed (WinHTTP error 12028)"},
        {12031, "The request to updates.example failed (WinHTTP error 12031)"},
        {12044, "The request to updates.example failed (WinHTTP error 12044)"},
        {12174, "The request to updates.example failed (WinHTTP error 12174)"},
        {12176, "The request to updates.example failed (WinHTTP error 12176)"},
        // What Wine reports for an unknown certificate authority.
        {12157, "The request to updates.example failed (WinHTTP error 12157)"},
        // A socket time-out code, and the extremes: no sign, no grouping, no padding.
        {10060, "The request to updates.example failed (WinHTTP error 10060)"},
        {0, "The request to updates.example failed (WinHTTP error 0)"},
        {0x80000000u, "The request to updates.example failed (WinHTTP error 2147483648)"},
        {0xFFFFFFFFu, "The request to updates.example failed (WinHTTP error 4294967295)"},
    };
    for (const ErrorCase& c : kCases) {
        EXPECT_EQ(describeWinHttpError(c.code, L"updates.example"), c.sentence) << c.code;
    }
}

TEST(DescribeWinHttpError, LeavesAnEmptyHostOut) {
    EXPECT_EQ(describeWinHttpError(12029, L""),
              "Orva could not reach : this computer seems to have no internet connection");
    EXPECT_EQ(describeWinHttpError(12002, L""), " did not answer in time");
    EXPECT_EQ(describeWinHttpError(5, L""), "The request to  failed (WinHTTP error 5)");
}

TEST(DescribeWinHttpError, WritesTheHostAsUtf8) {
    // U+00FC and U+0101 (beyond Latin-1): both must survive as UTF-8, never as
    // lone bytes that the window would show as replacement characters.
    EXPECT_EQ(describeWinHttpError(12002, L"b\u00FCcher.\u0101.example"),
              "b\xC3\xBC"
              "cher.\xC4\x81.example did not answer in time");
    EXPECT_EQ(describeWinHttpError(12029, L"127.0.0.1"),
              "Orva could not reach 127.0.0.1: this computer seems to have no internet "
              "connection");
}

// The wording callers and tests compare against; every enumerator has its own.
TEST(DescribeHttpFailure, GivesEachFailureItsSentence) {
    const struct {
        HttpFailure failure;
        const char* sentence;  // for the host "updates.example"
    } kCases[] = {
        {HttpFailure::kNotAWebAddress, "The address is not a web address"},
        {HttpFailure::kFileUnreadable, "The file to send could not be read"},
        {HttpFailure::kBodyTooLargeToSend, "The request body is too large to send"},
        {HttpFailure::kStopped, "Stopped"},
        {HttpFailure::kAnswerTooLarge, "The answer was not what was asked for (it is too large)"},
        {HttpFailure::kRedirectedToHttp,
         "The update service at updates.example redirected the request to an address that is "
         "not secured"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(describeHttpFailure(c.failure, L"updates.example"), c.sentence)
            << static_cast<int>(c.failure);
    }
    // The host is written as UTF-8, and an empty one is simply left out.
    EXPECT_EQ(describeHttpFailure(HttpFailure::kRedirectedToHttp, L"b\u00FCcher.example"),
              "The update service at b\xC3\xBC"
              "cher.example redirected the request to an address that is not secured");
    EXPECT_EQ(describeHttpFailure(HttpFailure::kRedirectedToHttp),
              "The update service at  redirected the request to an address that is not secured");
}

}  // namespace
}  // namespace orva
