#include "PushFixture.h"

void PushReceiverTest::Listen() {
    receiver = std::make_unique<TSocketFileReceiver>(folder.Path(), 0, // the system picks
                                                     budget, limits);
    port = receiver->FServerSocket->Port();
    receiver->FLog = &log;
    reads = std::make_unique<ReadCounter>(receiver->FServerSocket->OnClientRead);
    peer = ReceiverPeer::ConnectTo(port);
}

void PushReceiverTest::Send(ReceiverPeer& from, const AnsiString& message, int readEvents) {
    const int before = reads->Count();
    from.Send(message);
    ASSERT_TRUE(reads->WaitFor(before + readEvents)) << "not handled: " << message.substr(0, 20);
}

void PushReceiverTest::ExpectReply(ReceiverPeer& from, const AnsiString& code) {
    EXPECT_EQ(from.Take(code.size() + Id().size()), code + Id());
}

void PushReceiverTest::Offer(ReceiverPeer& from, const AnsiString& name, int size, int blocks) {
    Send(from, "01" + name);
    ExpectReply(from, "03");
    Send(from, "00" + IntToStr(size) + "?" + IntToStr(blocks));
    ExpectReply(from, "04");
}

void PushReceiverTest::SendBlock(ReceiverPeer& from, const AnsiString& block,
                                 const AnsiString& replyCode) {
    Send(from, "04");
    ExpectReply(from, "05");
    Send(from, block);
    if (!replyCode.empty())
        ExpectReply(from, replyCode);
}

void PushReceiverTest::Push(ReceiverPeer& from, const AnsiString& name, const AnsiString& bytes) {
    const int blocks = static_cast<int>((bytes.size() + 1023) / 1024);
    Offer(from, name, static_cast<int>(bytes.size()), blocks);
    for (int i = 0; i < blocks; ++i)
        SendBlock(from, bytes.substr(static_cast<std::size_t>(i) * 1024, 1024),
                  i + 1 == blocks ? "09" : "04");
}
