// bstr_test.cpp: BSTR layout, lengths, null handling, counting and allocation faults.
#include <cstdint>
#include <cstring>
#include <string_view>

#include <gtest/gtest.h>
#include <winemu/com.h>
#include <winemu/control.h>

namespace {

std::uint32_t byte_prefix(BSTR text) {
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(text) - sizeof bytes, sizeof bytes);
    return bytes;
}

TEST(Bstr, HoldsUnitsWithBytePrefixAndTerminatingNul) {
    const std::u16string_view text = u"A\0b\xD83D\xDE00";  // an inner NUL and a surrogate pair survive
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(SysStringLen(copy), text.size());
    EXPECT_EQ(byte_prefix(copy), text.size() * 2);
    EXPECT_EQ(std::u16string_view(copy, SysStringLen(copy)), text);
    EXPECT_EQ(copy[text.size()], u'\0');
    SysFreeString(copy);
}

TEST(Bstr, NullSourceGivesZeroedUnitsOfTheRequestedLength) {
    BSTR blank = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 5u);
    EXPECT_EQ(std::u16string_view(blank, 6), std::u16string_view(u"\0\0\0\0\0\0", 6));
    SysFreeString(blank);
}

TEST(Bstr, EmptyIsANonNullZeroLengthString) {
    BSTR empty = SysAllocStringLen(u"", 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');
    SysFreeString(empty);
}

TEST(Bstr, NullIsAcceptedWhereWindowsAcceptsIt) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);  // a no-op
    EXPECT_EQ(winemu_outstanding().bstrs, 0);
}

TEST(Bstr, LengthBeyondThePrefixRangeGivesNull) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, CountedFromAllocationToFree) {
    const auto before = winemu_outstanding().bstrs;
    BSTR first = SysAllocStringLen(u"x", 1);
    BSTR second = SysAllocStringLen(nullptr, 8);
    EXPECT_EQ(winemu_outstanding().bstrs, before + 2);
    SysFreeString(first);
    SysFreeString(second);
    EXPECT_EQ(winemu_outstanding().bstrs, before);
}

TEST(Bstr, AnyQueuedFaultMakesTheAllocatorReturnNullOnce) {
    winemu_clear_faults();
    for (const HRESULT fault : {E_OUTOFMEMORY, S_OK}) {
        winemu_fail_next("SysAllocStringLen", fault, nullptr, nullptr);
        EXPECT_EQ(SysAllocStringLen(u"abc", 3), nullptr);
        BSTR next = SysAllocStringLen(u"abc", 3);
        EXPECT_NE(next, nullptr);
        SysFreeString(next);
    }
    EXPECT_EQ(winemu_outstanding().bstrs, 0);
}

TEST(Variant, InitGivesAnAllZeroEmptyVariant) {
    VARIANT value;
    std::memset(static_cast<void*>(&value), 0xAB, sizeof value);
    VariantInit(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    for (std::size_t i = 0; i < sizeof value; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
}

}  // namespace
