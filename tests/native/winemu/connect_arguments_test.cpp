// connect_arguments_test.cpp: what ITaskService::Connect answers for arguments that the Python
// module never passes (it refuses partial credentials itself): VARIANTs of other types and
// credentials given in part, and that a refused Connect keeps the connection made before.
#include <optional>
#include <string_view>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "task_test_support.hpp"

namespace {

using winemu_test::Bstr;
using winemu_test::Text;

class ConnectArguments : public winemu_test::TaskServiceTest {
protected:
    void SetUp() override {
        TaskServiceTest::SetUp();
        ASSERT_EQ(winemu_add_computer("SRV", (sandbox_ / "srv").c_str(), 0.0), 0);
    }
    void TearDown() override {
        winemu_remove_computer("SRV");
        TaskServiceTest::TearDown();
    }

    // Connect with each argument a text (a BSTR VARIANT) or left out (VT_EMPTY).
    HRESULT connect(std::optional<std::u16string_view> server, std::optional<std::u16string_view> user,
                    std::optional<std::u16string_view> domain, std::optional<std::u16string_view> password) {
        std::optional<Text> texts[4];
        VARIANT variants[4]{};
        const std::optional<std::u16string_view> given[4] = {server, user, domain, password};
        for (int index = 0; index < 4; ++index) {
            if (!given[index]) continue;
            texts[index].emplace(*given[index]);
            variants[index].vt = VT_BSTR;
            variants[index].bstrVal = texts[index]->get();
        }
        return service_->Connect(variants[0], variants[1], variants[2], variants[3]);
    }
};

TEST_F(ConnectArguments, PartialCredentialsAreRefusedAsDocumented) {
    struct Case {
        std::optional<std::u16string_view> user, domain, password;
        HRESULT expected;
    };
    const Case cases[] = {
        {u"bob", std::nullopt, std::nullopt, E_OUTOFMEMORY},  // a user without a password
        {std::nullopt, std::nullopt, u"pw", E_OUTOFMEMORY},   // a password without a user
        {std::nullopt, u"SRV", std::nullopt, E_OUTOFMEMORY},  // a domain without a user
        {u"", std::nullopt, u"pw", E_OUTOFMEMORY},            // an empty user is no user
    };
    for (const Case& c : cases) {
        EXPECT_EQ(connect(u"SRV", c.user, c.domain, c.password), c.expected);
        EXPECT_EQ(connect(std::nullopt, c.user, c.domain, c.password), c.expected);
    }
}

TEST_F(ConnectArguments, OtherVariantTypesAreInvalidArguments) {
    VARIANT number{};
    number.vt = VT_I4;
    number.lVal = 1;
    VARIANT empty{};
    EXPECT_EQ(service_->Connect(number, empty, empty, empty), E_INVALIDARG);
    EXPECT_EQ(service_->Connect(empty, number, empty, empty), E_INVALIDARG);
    EXPECT_EQ(service_->Connect(empty, empty, empty, number), E_INVALIDARG);
}

TEST_F(ConnectArguments, ARefusedConnectKeepsTheEarlierConnection) {
    ASSERT_EQ(connect(u"\\\\srv", std::nullopt, std::nullopt, std::nullopt), S_OK);
    EXPECT_EQ(connect(u"NOWHERE", std::nullopt, std::nullopt, std::nullopt),
              HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    Bstr server;
    ASSERT_EQ(service_->get_TargetServer(server.put()), S_OK);
    EXPECT_EQ(std::u16string_view(server.get()), u"SRV");
    VARIANT_BOOL connected = VARIANT_FALSE;
    ASSERT_EQ(service_->get_Connected(&connected), S_OK);
    EXPECT_EQ(connected, VARIANT_TRUE);
    // Taken off the network: the service object answers as a lost connection.
    ASSERT_EQ(winemu_remove_computer("SRV"), 0);
    EXPECT_EQ(service_->get_Connected(&connected), S_OK);
    EXPECT_EQ(connected, VARIANT_FALSE);
    Bstr again;
    EXPECT_EQ(service_->get_TargetServer(again.put()), HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
