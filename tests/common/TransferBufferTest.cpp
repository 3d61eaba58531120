// The memory of a file in progress: what it takes from the shared budget and when it gives it back.
#include "TransferBuffer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

TEST(TransferBuffer, GrowsWithinTheBudgetAndGivesItBackWhereverItGoes) {
    const auto budget = std::make_shared<TTransferBudget>(3 * 1024);
    std::optional<TTransferBuffer> buffer(std::in_place, budget);
    const AnsiString block = FileBytes(1024);
    for (int i = 0; i < 3; ++i) // the third would double to 4 KiB; the budget cuts it to 3
        ASSERT_TRUE(buffer->Append(block.data(), block.size(), 1024 * 1024)) << "block " << i;
    EXPECT_EQ(budget->InUse(), 3u * 1024);
    EXPECT_FALSE(buffer->Append("y", 1, 1024 * 1024));
    EXPECT_EQ(buffer->Bytes(), block + block + block);

    TTransferBuffer moved = std::move(*buffer);
    buffer.reset();
    EXPECT_EQ(budget->InUse(), 3u * 1024) << "the bytes went with the move";
    moved = TTransferBuffer(budget);
    EXPECT_EQ(budget->InUse(), 0u);
}
