// error_info_test.cpp: the thread's error object: hand-over, replacement, and the two kinds of object.
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"

namespace {

using winemu_test::Bstr;
using winemu_test::on_fresh_thread;
using winemu_test::query;
using winemu_test::read_details;
using winemu_test::Ref;
using winemu_test::take_error_info;
using winemu_test::view;

class ErrorInfo : public ::testing::Test {
protected:
    void SetUp() override {
        winemu_clear_faults();
        take_error_info();
    }
    void TearDown() override {
        take_error_info();
        EXPECT_EQ(winemu_outstanding().objects, 0);
        EXPECT_EQ(winemu_outstanding().bstrs, 0);
    }
};

TEST_F(ErrorInfo, GetErrorInfoHandsTheObjectOverAndClearsTheThread) {
    Ref<IErrorInfo> none;
    EXPECT_EQ(GetErrorInfo(0, none.put()), S_FALSE);
    EXPECT_FALSE(none);

    winemu_set_plain_error("first");
    Ref<IErrorInfo> taken;
    EXPECT_EQ(GetErrorInfo(0, taken.put()), S_OK);
    ASSERT_TRUE(taken);
    Ref<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, again.put()), S_FALSE) << "the first call took it";
    EXPECT_FALSE(again);
    EXPECT_EQ(winemu_outstanding().objects, 1) << "held only by the caller now";
}

TEST_F(ErrorInfo, GetErrorInfoRefusesWhatWindowsRefuses) {
    winemu_set_plain_error("kept");
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    Ref<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(1, info.put()), E_INVALIDARG);
    EXPECT_FALSE(info);
    EXPECT_TRUE(take_error_info()) << "a refused call leaves the object in place";
}

TEST_F(ErrorInfo, SetErrorInfoKeepsItsOwnReferenceAndReplacesOrClears) {
    winemu_set_plain_error("original");
    Ref<IErrorInfo> original = take_error_info();
    EXPECT_EQ(SetErrorInfo(0, original.get()), S_OK);
    Ref<IErrorInfo> back = take_error_info();
    EXPECT_EQ(back.get(), original.get());

    EXPECT_EQ(SetErrorInfo(0, original.get()), S_OK);
    winemu_set_plain_error("newer");  // replaces, releasing the thread's reference
    Bstr description;
    take_error_info()->GetDescription(description.put());
    EXPECT_EQ(view(description), u"newer");

    EXPECT_EQ(SetErrorInfo(0, original.get()), S_OK);
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_FALSE(take_error_info());
    EXPECT_EQ(SetErrorInfo(7, nullptr), E_INVALIDARG);
}

TEST_F(ErrorInfo, EachThreadHasItsOwnObject) {
    winemu_set_plain_error("main thread");
    on_fresh_thread([] {
        EXPECT_FALSE(take_error_info());
        winemu_set_plain_error("worker");  // released when the worker ends
    });
    Bstr description;
    take_error_info()->GetDescription(description.put());
    EXPECT_EQ(view(description), u"main thread");
}

struct QueryCase {
    const char* name;
    const IID& iid;
    bool restricted_offers;
    bool plain_offers;
};

TEST_F(ErrorInfo, InterfacesOfTheTwoKinds) {
    const QueryCase cases[] = {
        {"IUnknown", IID_IUnknown, true, true},
        {"IErrorInfo", IID_IErrorInfo, true, true},
        {"IRestrictedErrorInfo", IID_IRestrictedErrorInfo, true, false},
        {"ILanguageExceptionErrorInfo", IID_ILanguageExceptionErrorInfo, true, false},
        {"ILanguageExceptionErrorInfo2", IID_ILanguageExceptionErrorInfo2, true, false},
        {"IDispatch", IID_IDispatch, false, false},
    };
    winemu_set_restricted_error(E_FAIL, "d", "r");
    Ref<IErrorInfo> restricted = take_error_info();
    winemu_set_plain_error("p");
    Ref<IErrorInfo> plain = take_error_info();
    for (const QueryCase& c : cases) {
        Ref<IUnknown> found;
        EXPECT_EQ(query(restricted, c.iid, found), c.restricted_offers ? S_OK : E_NOINTERFACE) << c.name;
        EXPECT_EQ(static_cast<bool>(found), c.restricted_offers) << c.name;
        EXPECT_EQ(query(plain, c.iid, found), c.plain_offers ? S_OK : E_NOINTERFACE) << c.name;
        EXPECT_EQ(static_cast<bool>(found), c.plain_offers) << c.name;
    }
    EXPECT_EQ(restricted->QueryInterface(IID_IErrorInfo, nullptr), E_POINTER);
}

TEST_F(ErrorInfo, IdentityIsTheSameThroughEveryInterface) {
    winemu_set_restricted_error(E_FAIL, nullptr, nullptr);
    Ref<IErrorInfo> info = take_error_info();
    Ref<IRestrictedErrorInfo> restricted;
    ASSERT_EQ(query(info, IID_IRestrictedErrorInfo, restricted), S_OK);
    Ref<ILanguageExceptionErrorInfo2> language;
    ASSERT_EQ(query(restricted, IID_ILanguageExceptionErrorInfo2, language), S_OK);
    Ref<IUnknown> from_info, from_restricted, from_language;
    query(info, IID_IUnknown, from_info);
    query(restricted, IID_IUnknown, from_restricted);
    query(language, IID_IUnknown, from_language);
    EXPECT_EQ(from_info.get(), from_restricted.get());
    EXPECT_EQ(from_info.get(), from_language.get());
    Ref<IErrorInfo> back;
    ASSERT_EQ(query(language, IID_IErrorInfo, back), S_OK);
    EXPECT_EQ(back.get(), info.get());
}

TEST_F(ErrorInfo, ReferencesAreCountedAndTheLastReleaseDestroys) {
    winemu_set_plain_error("counted");
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    EXPECT_EQ(raw->AddRef(), 2u);
    EXPECT_EQ(raw->Release(), 1u);
    EXPECT_EQ(winemu_outstanding().objects, 1);
    EXPECT_EQ(raw->Release(), 0u);
    EXPECT_EQ(winemu_outstanding().objects, 0);
}

TEST_F(ErrorInfo, ReferencesTakenAndDroppedOnManyThreadsBalance) {
    winemu_set_restricted_error(E_FAIL, "shared", nullptr);
    Ref<IErrorInfo> shared = take_error_info();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([object = shared.get()] {
            for (int i = 0; i < 10000; ++i) {
                object->AddRef();
                object->Release();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(shared->AddRef(), 2u);
    EXPECT_EQ(shared->Release(), 1u);
    EXPECT_EQ(winemu_outstanding().objects, 1);
}

TEST_F(ErrorInfo, RestrictedDetailsAreReportedAsLeft) {
    winemu_set_restricted_error(E_ACCESSDENIED, "Access is denied.\r\n", "Task \xC3\xA9 refused");
    Ref<IRestrictedErrorInfo> restricted;
    ASSERT_EQ(query(take_error_info(), IID_IRestrictedErrorInfo, restricted), S_OK);
    const auto details = read_details(restricted.get());
    ASSERT_EQ(details.result, S_OK);
    EXPECT_EQ(details.description, u"Access is denied.\r\n");
    EXPECT_EQ(details.error, E_ACCESSDENIED);
    EXPECT_EQ(details.restricted_description, u"Task \u00E9 refused");
    EXPECT_TRUE(details.sid_null);
    Bstr reference;
    EXPECT_EQ(restricted->GetReference(reference.put()), S_OK);
    EXPECT_EQ(reference.get(), nullptr);
}

TEST_F(ErrorInfo, MissingTextsAreNullBstrsAndEmptyTextsAreEmptyBstrs) {
    winemu_set_restricted_error(E_FAIL, nullptr, "");
    const auto details = winemu_test::take_restricted_details();
    ASSERT_TRUE(details);
    ASSERT_EQ(details->result, S_OK);
    EXPECT_TRUE(details->description_null);
    EXPECT_FALSE(details->restricted_null);
    EXPECT_EQ(details->restricted_description, u"");
}

TEST_F(ErrorInfo, GetErrorDetailsRefusesNullOutValues) {
    winemu_set_restricted_error(E_FAIL, "d", "r");
    Ref<IRestrictedErrorInfo> restricted;
    ASSERT_EQ(query(take_error_info(), IID_IRestrictedErrorInfo, restricted), S_OK);
    Bstr description, restricted_description, sid;
    HRESULT error = E_FAIL;
    EXPECT_EQ(restricted->GetErrorDetails(nullptr, &error, restricted_description.put(), sid.put()), E_POINTER);
    EXPECT_EQ(restricted->GetErrorDetails(description.put(), nullptr, restricted_description.put(), sid.put()),
              E_POINTER);
    EXPECT_EQ(restricted->GetErrorDetails(description.put(), &error, nullptr, sid.put()), E_POINTER);
    EXPECT_EQ(restricted->GetErrorDetails(description.put(), &error, restricted_description.put(), nullptr),
              E_POINTER);
    EXPECT_EQ(description.get(), nullptr) << "nothing is handed out on a refusal";
    EXPECT_EQ(restricted_description.get(), nullptr);
}

struct DescriptionCase {
    const char* what;
    const char* description;
    const char* restricted_description;
    std::u16string_view expected;
    bool expected_null;
};

TEST_F(ErrorInfo, GetDescriptionOfARestrictedObjectPrefersTheRestrictedText) {
    const DescriptionCase cases[] = {
        {"both", "general", "specific", u"specific", false},
        {"restricted only", nullptr, "specific", u"specific", false},
        {"restricted empty", "general", "", u"general", false},
        {"restricted missing", "general", nullptr, u"general", false},
        {"neither", nullptr, nullptr, u"", true},
    };
    for (const DescriptionCase& c : cases) {
        winemu_set_restricted_error(E_FAIL, c.description, c.restricted_description);
        Bstr text;
        EXPECT_EQ(take_error_info()->GetDescription(text.put()), S_OK) << c.what;
        EXPECT_EQ(text.get() == nullptr, c.expected_null) << c.what;
        EXPECT_EQ(view(text), c.expected) << c.what;
    }
}

TEST_F(ErrorInfo, PlainObjectGivesItsDescriptionUnchanged) {
    winemu_set_plain_error("  line one\nline two\r\n");
    Ref<IErrorInfo> info = take_error_info();
    Bstr text;
    ASSERT_EQ(info->GetDescription(text.put()), S_OK);
    EXPECT_EQ(view(text), u"  line one\nline two\r\n");
    EXPECT_EQ(info->GetDescription(nullptr), E_POINTER);
    GUID guid{1, 2, 3, {4}};
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, GUID{});
}

TEST_F(ErrorInfo, LanguageExceptionMethodsHaveNothingToGive) {
    winemu_set_restricted_error(E_FAIL, "d", "r");
    Ref<ILanguageExceptionErrorInfo2> language;
    ASSERT_EQ(query(take_error_info(), IID_ILanguageExceptionErrorInfo2, language), S_OK);
    EXPECT_EQ(language->CapturePropagationContext(nullptr), S_OK);
    Ref<IUnknown> exception;
    EXPECT_EQ(language->GetLanguageException(exception.put()), S_OK);
    EXPECT_FALSE(exception);
    Ref<ILanguageExceptionErrorInfo2> previous, head;
    EXPECT_EQ(language->GetPreviousLanguageExceptionErrorInfo(previous.put()), S_OK);
    EXPECT_FALSE(previous);
    EXPECT_EQ(language->GetPropagationContextHead(head.put()), S_OK);
    EXPECT_FALSE(head);
    EXPECT_EQ(language->GetLanguageException(nullptr), E_POINTER);
}

TEST_F(ErrorInfo, ControlTextsAreDecodedFromUtf8) {
    const struct {
        const char* utf8;
        std::u16string_view utf16;
    } cases[] = {
        {"plain", u"plain"},
        {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},  // beyond U+FFFF: a surrogate pair
        {"a\xFF" "b", u"a\uFFFDb"},                 // invalid byte
        {"\xC0\x80", u"\uFFFD\uFFFD"},            // overlong NUL
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
        {"\xE2\x82", u"\uFFFD\uFFFD"},            // truncated at the end
    };
    for (const auto& c : cases) {
        winemu_set_plain_error(c.utf8);
        Bstr text;
        take_error_info()->GetDescription(text.put());
        EXPECT_EQ(view(text), c.utf16) << c.utf8;
    }
}

}  // namespace
