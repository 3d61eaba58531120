// A push receiver on a free port with a log, a box closer and one connected peer, plus the
// steps of a transfer as the server takes them.
#pragma once

#include "ReceiverPeer.h"
#include "TestSupport.h"
#include "UnitThreadReceiver.h"

#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <memory>

class PushReceiverTest : public testing::Test {
protected:
    void SetUp() override { Listen(); }
    // Makes the receiver anew, with the limits and the budget as they stand, and connects peer.
    void Listen();

    // Sends one message and waits until the receiver has handled the given number of reads.
    void Send(ReceiverPeer& from, const AnsiString& message, int readEvents = 1);
    // The next reply must be this code followed by the receiver's identity.
    void ExpectReply(ReceiverPeer& from, const AnsiString& code);
    // "01" name, "00" size "?" blocks, each with its reply.
    void Offer(ReceiverPeer& from, const AnsiString& name, int size, int blocks);
    // "04", then the block; the reply to the block must be replyCode.
    void SendBlock(ReceiverPeer& from, const AnsiString& block, const AnsiString& replyCode);
    // A whole push of the bytes in blocks of 1024, announced as their size.
    void Push(ReceiverPeer& from, const AnsiString& name, const AnsiString& bytes);
    AnsiString Id() const { return receiver->FLocalID; }

    // The receiver is made with these.
    TPushReceiverLimits limits;
    std::shared_ptr<TTransferBudget> budget = std::make_shared<TTransferBudget>();
    ProgramFolder folder;
    QPlainTextEdit log;
    ModalBoxCloser boxes;
    int port = 0;
    std::unique_ptr<TSocketFileReceiver> receiver;
    std::unique_ptr<ReadCounter> reads;
    std::unique_ptr<ReceiverPeer> peer;
};
