// Which end of a command a client takes as its own.
#include "core/CommandClient.h"

#include <gtest/gtest.h>

TEST(CommandClient, TakesOnlyTheEndOfItsOwnCommandByUnitCmdAndIndex)
{
    const struct {
        const char* what;
        TCommandResult end;
        bool its;
    } rows[] = {
        {"its result", {2, 0x03, 0x04, false, 0x01, 500}, true},
        {"its give-up", {2, 0x03, 0x04, true}, true},
        {"another module", {1, 0x03, 0x04, false, 0x01, 500}, false},
        {"another command", {2, 0x04, 0x04, false, 0x01, 500}, false},
        {"another index, given up", {2, 0x03, 0x07, true}, false},
    };
    for (const auto& row : rows) {
        TCommandClient client;
        client.Sent(2, {0x03, 0x04});
        EXPECT_EQ(client.Ends(row.end).has_value(), row.its) << row.what;
        EXPECT_EQ(client.InFlight(), !row.its) << row.what;
        EXPECT_FALSE(client.Ends(row.end) && row.its) << row.what << ": taken once";
    }
}
