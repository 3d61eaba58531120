// The push receiver: which record a read uses, its limits, its socket and its end.
#include "PushFixture.h"
#include "SysUtils.h"
#include "UnitCheckText.h"

#include <QHostAddress>

#include <gtest/gtest.h>

// --- One record per peer address ---------------------------------------------------------------

TEST_F(PushReceiverTest, TwoConnectionsFromOneAddressShareOneTransfer) {
    auto second = ReceiverPeer::ConnectTo(port);
    Send(*peer, "01shared.bin");
    ExpectReply(*peer, "03");
    Send(*second, "005?1");
    ExpectReply(*second, "04");
    Send(*peer, "04");
    ExpectReply(*peer, "05");
    Send(*second, "12345");
    ExpectReply(*second, "09");
    EXPECT_EQ(folder.Read("shared.bin"), "12345");
    EXPECT_EQ(receiver->FPeerAddresses->Count(), 1);
}

TEST_F(PushReceiverTest, LastConnectionOfAnAddressClosingGivesUpItsTransferAndRecord) {
    auto second = ReceiverPeer::ConnectTo(port);
    Offer(*peer, "cut.bin", 2000, 2);
    SendBlock(*peer, FileBytes(1024), "04");
    Send(*peer, "04");
    ExpectReply(*peer, "05");

    peer->Close();
    ASSERT_TRUE(WaitUntil([&] { return receiver->FServerSocket->ActiveConnections() == 1; }));
    EXPECT_NE(receiver->FClients[0].Stream, nullptr) << "the address is still connected";
    second->Close();
    ASSERT_TRUE(WaitUntil([&] { return receiver->FPeerAddresses->Count() == 0; }));
    EXPECT_EQ(receiver->FClients[0].Stream, nullptr);
    EXPECT_FALSE(folder.Exists("cut.bin"));
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterTimeStamp(lines[0]), " cut.bin 接收中断，已放弃接收");

    peer = ReceiverPeer::ConnectTo(port);
    Send(*peer, "01next.bin"); // a command again, not the missing block
    ExpectReply(*peer, "03");
}

TEST_F(PushReceiverTest, SecondPeerAddressGetsARecordOfItsOwn) {
    Offer(*peer, "one.bin", 10, 1);
    Send(*peer, "04");
    ExpectReply(*peer, "05");

    auto other = ReceiverPeer::ConnectTo(port, "127.0.0.2");
    Offer(*other, "two.bin", 5, 1);
    SendBlock(*other, "22222", "09");
    EXPECT_EQ(folder.Read("two.bin"), "22222");

    Send(*peer, "1111111111"); // the first peer's record still expects its block
    ExpectReply(*peer, "09");
    EXPECT_EQ(folder.Read("one.bin"), "1111111111");

    ASSERT_EQ(receiver->FPeerAddresses->Count(), 2);
    EXPECT_EQ(receiver->FPeerAddresses->Strings(1), "127.0.0.2");
    EXPECT_EQ(receiver->FClients[1].PeerAddress, "127.0.0.2");
    EXPECT_EQ(receiver->FindConnectionIndex("127.0.0.2"), 1);
    EXPECT_EQ(receiver->FindConnectionIndex("127.0.0.1"), 0);
    EXPECT_EQ(receiver->FindConnectionIndex("127.0.0.3"), -1);
}

TEST_F(PushReceiverTest, AddressBeyondTheLastRecordIsClosedAndChangesNothing) {
    for (int i = 0; i < TSocketFileReceiver::MaxPeers - 1; ++i)
        receiver->FPeerAddresses->Add("10.0." + IntToStr(i / 256) + "." + IntToStr(i % 256));
    Send(*peer, "01last.bin"); // takes the last record
    ExpectReply(*peer, "03");

    auto further = ReceiverPeer::ConnectTo(port, "127.0.0.2");
    Send(*further, "08hello");
    EXPECT_TRUE(further->WaitClosedByReceiver());
    EXPECT_EQ(receiver->FPeerAddresses->Count(), TSocketFileReceiver::MaxPeers);
    EXPECT_EQ(receiver->FPeerAddresses->IndexOf("127.0.0.2"), -1);
    EXPECT_TRUE(LogLines(&log).empty());

    Send(*peer, "003?1");
    ExpectReply(*peer, "04");
    SendBlock(*peer, "end", "09");
    EXPECT_EQ(folder.Read("last.bin"), "end");
}

TEST(PushReceiver, ConnectionsPastTheLimitAreClosedOnAccept) {
    ProgramFolder folder;
    TSocketFileReceiver receiver(folder.Path(), 0, std::make_shared<TTransferBudget>(),
                                 TPushReceiverLimits{.MaxConnections = 2});
    const int port = receiver.FServerSocket->Port();
    auto first = ReceiverPeer::ConnectTo(port);
    auto second = ReceiverPeer::ConnectTo(port);
    auto third = ReceiverPeer::ConnectTo(port);
    EXPECT_TRUE(third->WaitClosedByReceiver());

    first->Close(); // a place comes free
    ASSERT_TRUE(WaitUntil([&] { return receiver.FServerSocket->ActiveConnections() == 1; }));
    auto fourth = ReceiverPeer::ConnectTo(port);
    for (ReceiverPeer* served : {second.get(), fourth.get()}) {
        served->Send("01probe");
        EXPECT_EQ(served->Take(2 + receiver.FLocalID.size()), "03" + receiver.FLocalID);
    }
}

TEST_F(PushReceiverTest, AddressPastItsShareLeavesAPlaceForAnotherAddressesPush) {
    limits = {.MaxConnections = 3, .MaxConnectionsPerAddress = 2};
    Listen();
    auto second = ReceiverPeer::ConnectTo(port);
    auto third = ReceiverPeer::ConnectTo(port);
    EXPECT_TRUE(third->WaitClosedByReceiver());
    auto teacher = ReceiverPeer::ConnectTo(port, "127.0.0.2");
    Push(*teacher, "pushed.bin", "from the teacher");
    EXPECT_EQ(folder.Read("pushed.bin"), "from the teacher");
}

TEST_F(PushReceiverTest, SilentConnectionIsClosedAndItsTransferGivenUp) {
    limits.IdleTimeout = std::chrono::seconds(1);
    Listen();
    Offer(*peer, "stalled.bin", 2000, 2);
    EXPECT_TRUE(peer->WaitClosedByReceiver());
    ASSERT_TRUE(WaitUntil([&] { return !LogLines(&log).empty(); }));
    EXPECT_EQ(AfterTimeStamp(LogLines(&log)[0]), " stalled.bin 接收中断，已放弃接收");
}

// --- Socket ------------------------------------------------------------------------------------

TEST_F(PushReceiverTest, IdentityIsTheFirstLocalAddress) {
    const auto addresses = GetLocalIPList();
    EXPECT_EQ(receiver->FLocalID, addresses->Count() > 0 ? addresses->Strings(0) : "");
}

TEST_F(PushReceiverTest, ErrorRuleClosesOnlyAbortedOrRefusedConnections) {
    Send(*peer, "08hi");
    platform::TCustomWinSocket& connection = receiver->FServerSocket->Connections(0);
    int code = 10054;
    receiver->ServerSocketClientError(connection, platform::eeReceive, code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(connection.Connected());
    code = 10053;
    receiver->ServerSocketClientError(connection, platform::eeReceive, code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(peer->WaitClosedByReceiver());
    EXPECT_TRUE(receiver->FServerSocket->Active());
}

TEST(PushReceiver, PortInUseRaisesTheSocketError) {
    ProgramFolder folder;
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    try {
        TSocketFileReceiver receiver(folder.Path(), other.serverPort());
        FAIL() << "a receiver exists on a port in use";
    } catch (const ESocketError& error) {
        EXPECT_NE(error.Message.find("on API 'bind'"), AnsiString::npos) << error.Message;
    }
}

// --- End -----------------------------------------------------------------------------------------

TEST_F(PushReceiverTest, DestroyingMidTransferWritesNothing) {
    folder.Write("open.bin", "old");
    Offer(*peer, "open.bin", 2000, 2);
    SendBlock(*peer, FileBytes(1024), "04");
    auto other = ReceiverPeer::ConnectTo(port, "127.0.0.2");
    Offer(*other, "expecting.bin", 10, 1);
    Send(*other, "04");
    ExpectReply(*other, "05");

    receiver.reset();
    EXPECT_EQ(budget->InUse(), 0u);
    EXPECT_TRUE(peer->WaitClosedByReceiver());
    EXPECT_TRUE(other->WaitClosedByReceiver());
    EXPECT_FALSE(folder.Exists("open.bin"));
    EXPECT_FALSE(folder.Exists("expecting.bin"));
}
