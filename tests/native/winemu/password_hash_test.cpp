// password_hash_test.cpp: the accounts' password hashes: a hash takes only its own password (every
// byte of it), is salted afresh, stays within its cost, and a text that is no hash of ours takes none.
#include <chrono>
#include <string>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>
#include <winemu/control.h>

#include "accounts/password_hash.hpp"

namespace {

using namespace std::string_view_literals;

TEST(PasswordHash, TakesItsOwnPasswordOnly) {
    // Each password beside a near miss: past a NUL, a prefix, case, a trailing blank, the empty one,
    // an accent. Few cases, since each hash costs what a logon costs.
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a\0b"sv, "a\0c"sv},       {"a\0b"sv, "a"sv},   {"correct horse"sv, "Correct horse"sv},
        {"correct horse"sv, "correct horse "sv}, {""sv, "\0"sv}, {"p\xC3\xA4sswort"sv, "pa\xCC\x88sswort"sv},
    };
    for (const auto& [password, near_miss] : cases) {
        const auto hash = winemu::hash_password(password);
        ASSERT_TRUE(hash.has_value());
        EXPECT_TRUE(hash->starts_with("$argon2id$v=19$")) << *hash;
        if (password.size() >= 6) {
            EXPECT_EQ(hash->find(password), std::string::npos) << "the text is in the hash";
        }
        EXPECT_TRUE(winemu::verify_password(*hash, password));
        EXPECT_FALSE(winemu::verify_password(*hash, near_miss)) << "hash of \"" << password << "\" took \"" << near_miss
                                                                 << "\"";
    }
}

TEST(PasswordHash, SaltsEachHashAfresh) {
    const auto first = winemu::hash_password("same");
    const auto second = winemu::hash_password("same");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_TRUE(winemu::verify_password(*second, "same"));
}

TEST(PasswordHash, TextsThatAreNoHashTakeNoPassword) {
    const std::string hash = winemu::hash_password("secret").value();
    const std::string refused[] = {
        "",
        "secret",
        "$argon2id$",
        hash.substr(0, hash.size() - 4),              // cut short
        hash + "AAAA",                                // longer
        hash + std::string("\0", 1) + "tail",         // a NUL inside: libsodium would read only the head
        hash + std::string(200, 'A'),                 // beyond any hash libsodium makes
        "$argon2i$" + hash.substr(sizeof("$argon2id$") - 1),  // another variant's prefix
    };
    for (const std::string& text : refused) EXPECT_FALSE(winemu::verify_password(text, "secret")) << text;
}

TEST(PasswordHash, OneVerificationStaysCheap) {
    const std::string hash = winemu::hash_password("timed").value();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(winemu::verify_password(hash, "timed"));
    const auto took = std::chrono::steady_clock::now() - started;
    // 10-50 ms on an idle machine; a sanitizer build and a busy machine get room (valgrind does not
    // run it: there it would measure valgrind).
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    std::printf("one verification: %.1f ms\n", std::chrono::duration<double, std::milli>(took).count());
}

TEST(PasswordHash, TheControlApiCheckAnswersYes) { EXPECT_EQ(winemu_password_hashing_works(), 1); }

}  // namespace
