// text_conversion_test.cpp: to_bstr over UTF-8 views, and the UTF-16 to UTF-8 rendering.
#include <string>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "runtime/internal_failure.hpp"
#include "scheduler/own_connection.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler/to_bstr.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using namespace std::string_view_literals;

std::u16string units_of(const UniqueBstr& bstr) {
    std::u16string units;
    for (WCHAR unit : bstr_view(bstr.get())) units += static_cast<char16_t>(unit);
    return units;
}

class ToBstr : public testing_support::SchedulerTest {};

TEST_F(ToBstr, EmptyTextIsTheNullBstrAndAllocatesNothing) {
    const long long before = winemu_call_count("SysAllocStringLen");
    const UniqueBstr bstr = to_bstr("");
    EXPECT_EQ(bstr.get(), nullptr);
    EXPECT_EQ(winemu_call_count("SysAllocStringLen"), before);
}

TEST_F(ToBstr, KeepsNulCharactersAndPairsCharactersAboveTheBasicPlane) {
    EXPECT_EQ(units_of(to_bstr("a\0b"sv)), u"a\0b"sv);
    EXPECT_EQ(units_of(to_bstr("\0"sv)), u"\0"sv);
    EXPECT_EQ(units_of(to_bstr("é€\U0001F600!")), u"é€\U0001F600!");
    EXPECT_EQ(bstr_length(to_bstr("\U0001F600").get()), 2u);
}

TEST_F(ToBstr, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(units_of(to_bstr("a\xFF" "b")), u"a\uFFFDb");
    EXPECT_EQ(units_of(to_bstr("\xE2\x82")), u"\uFFFD") << "a truncated sequence is one character";
    EXPECT_EQ(units_of(to_bstr("\xED\xA0\x80")), u"\uFFFD\uFFFD\uFFFD") << "no surrogate is encoded";
    EXPECT_EQ(units_of(to_bstr("\xC0\x80")), u"\uFFFD\uFFFD") << "no overlong form";
    EXPECT_EQ(units_of(to_bstr("\xF4\x90\x80\x80")), u"\uFFFD\uFFFD\uFFFD\uFFFD") << "nothing above U+10FFFF";
    EXPECT_EQ(units_of(to_bstr("\xE0\x80\x80")), u"\uFFFD\uFFFD\uFFFD") << "no overlong three-byte form";
    EXPECT_EQ(units_of(to_bstr("\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF")), u"\uFFFF\U00010000\U0010FFFF");
}

// A null BSTR, or an empty one for a non-empty text (the fault S_FALSE), fails alike; the empty one
// is freed (the fixture finds no BSTR left).
TEST_F(ToBstr, AllocationFailureIsAnInternalFailureWithTheErrorsDebugRendering) {
    for (const HRESULT fault : {HRESULT{0}, S_FALSE}) {
        winemu_fail_next("SysAllocStringLen", fault, nullptr, nullptr);
        try {
            (void)to_bstr("name");
            ADD_FAILURE() << "no InternalFailure for the fault " << fault;
        } catch (const InternalFailure& failure) {
            EXPECT_EQ(failure.text(), "called `Result::unwrap()` on an `Err` value: Error { code: "
                                      "HRESULT(0x8007000E), message: \"Not enough memory resources are available "
                                      "to complete this operation.\" }");
        }
    }
}

TEST_F(ToBstr, AllocationFailureCarriesTheThreadsRestrictedDescription) {
    winemu_fail_next("SysAllocStringLen", static_cast<HRESULT>(0x8007000Eu), "heap exhausted", nullptr);
    try {
        (void)to_bstr("name");
        FAIL() << "no InternalFailure";
    } catch (const InternalFailure& failure) {
        EXPECT_EQ(failure.text(), "called `Result::unwrap()` on an `Err` value: Error { code: HRESULT(0x8007000E), "
                                  "message: \"heap exhausted\" }");
    }
}

// The first BSTR of an operation is the root path of its connection: its failure unwinds through
// the half-open connection, which must release the service object and leave the apartment.
TEST_F(ToBstr, AllocationFailureInsideAnOperationGivesBackWhatItHolds) {
    for (auto apartment : {testing_support::StartApartment::none, testing_support::StartApartment::multithreaded,
                           testing_support::StartApartment::single_threaded}) {
        testing_support::run_on_thread(apartment, [] {
            const long long apartments_before = winemu_outstanding().apartments;
            winemu_fail_next("SysAllocStringLen", 0, nullptr, nullptr);
            EXPECT_THROW((void)with_own_connection(task_exists, "Anything"), InternalFailure);
            EXPECT_EQ(winemu_outstanding().objects, 0);
            EXPECT_EQ(winemu_outstanding().bstrs, 0);
            EXPECT_EQ(winemu_outstanding().apartments, apartments_before);
        });
    }
}

// Later BSTRs fail inside an open connection: the name of each operation (after the root path),
// and the definition of register_xml (after the name, which must be freed on the way out).
TEST_F(ToBstr, AllocationFailureOfTheNameOrDefinitionClosesTheConnection) {
    struct Case {
        const char* what;
        unsigned allocations_before;
        void (*operation)();
    };
    const Case cases[] = {
        {"run_task name", 1, [] { (void)with_own_connection(run_task, "Anything"); }},
        {"delete_task name", 1, [] { (void)with_own_connection(delete_task, "Anything"); }},
        {"task_exists name", 1, [] { (void)with_own_connection(task_exists, "Anything"); }},
        {"register_xml name", 1, [] { (void)with_own_connection(register_xml, "Anything", testing_support::kTaskXml); }},
        {"register_xml definition", 2, [] { (void)with_own_connection(register_xml, "Anything", testing_support::kTaskXml); }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const long long registrations = winemu_call_count("RegisterTask");
        winemu_fail_after("SysAllocStringLen", test.allocations_before, 0, nullptr, nullptr);
        EXPECT_THROW(test.operation(), InternalFailure);
        EXPECT_EQ(winemu_pending_faults(), 0u);
        EXPECT_EQ(winemu_call_count("RegisterTask"), registrations) << "no call is made without its texts";
        testing_support::expect_nothing_outstanding();
    }
}

TEST(Utf8FromUtf16, PairsBecomeOneCharacterAndUnpairedSurrogatesBecomeReplacements) {
    auto render = [](std::u16string_view units) {
        WideText text;
        for (char16_t unit : units) text += static_cast<WCHAR>(unit);
        return utf8_from_utf16(text);
    };
    EXPECT_EQ(render(u"\U0001F600"), "\U0001F600");
    EXPECT_EQ(render(u"a\xD83D" u"b"), "a\uFFFDb") << "a high surrogate alone";
    EXPECT_EQ(render(u"a\xDE00"), "a\uFFFD") << "a low surrogate alone";
    EXPECT_EQ(render(u"\xDE00\xD83D"), "\uFFFD\uFFFD") << "a pair in the wrong order";
    EXPECT_EQ(render(u"\xD83D"), "\uFFFD") << "a high surrogate at the end";
    EXPECT_EQ(render(u"x\0y"sv), "x\0y"sv);
}

}  // namespace
}  // namespace morvane::scheduler
