#include "UnitCPUID.h"

#include "FakeHardware.h"

#include <gtest/gtest.h>

#include <cctype>

TEST(FormatHexGroups, SplitsEightCharactersAndKeepsWhateverAShorterTextHas) {
    EXPECT_EQ(FormatHexGroups("000306A9"), "0003-06A9");
    EXPECT_EQ(FormatHexGroups("12345"), "1234-5");
    EXPECT_EQ(FormatHexGroups("ABC"), "ABC-");
    EXPECT_EQ(FormatHexGroups(""), "-");
}

TEST(GetCPUIDString, FormsEaxEdxEcxOfFunctionOneAsSixGroups) {
    FakeHardware fake;
    fake.Processor.Functions[1] = {
        {.Eax = 0x000306A9, .Ebx = 0x12345678, .Ecx = 0x7FBAE3FF, .Edx = 0xBFEBFBFF}};
    ScopedHardwareAccess scoped(fake.Access());
    CPUIDLeaf = 7;
    EXPECT_EQ(GetCPUIDString(), "0003-06A9-BFEB-FBFF-7FBA-E3FF");
    EXPECT_EQ(CPUIDLeaf, 1u);
    EXPECT_EQ(fake.Events, (std::vector<std::string>{"cpuid 1", "cpuid 1"}));
}

TEST(GetCPUIDString, KeepsLeadingZerosAndTakesEdxAndEcxFromTheSecondRead) {
    FakeHardware fake;
    fake.Processor.Functions[1] = {{.Eax = 0x00000F29, .Ecx = 0x11111111, .Edx = 0x22222222},
                                   {.Eax = 0xFFFFFFFF, .Ecx = 0x0000000A, .Edx = 0x00ABCDEF}};
    ScopedHardwareAccess scoped(fake.Access());
    EXPECT_EQ(GetCPUIDString(), "0000-0F29-00AB-CDEF-0000-000A");
}

TEST(GetCPUIDString, OnThisProcessorIsSixGroupsOfFourUpperCaseHexDigits) {
    const AnsiString id = GetCPUIDString();
    ASSERT_EQ(id.size(), 29u);
    for (std::size_t i = 0; i < id.size(); ++i) {
        if (i % 5 == 4)
            EXPECT_EQ(id[i], '-') << "at " << i << " in " << id;
        else
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(id[i])) &&
                        !std::islower(static_cast<unsigned char>(id[i])))
                << "at " << i << " in " << id;
    }
    EXPECT_EQ(GetCPUIDString(), id);
}
