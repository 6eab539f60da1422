// The order of the messages of the whole-block commands.

#include <gtest/gtest.h>

#include <vector>

#include "link/block_sends.h"

namespace zelto::block_sends {
namespace {

TEST(BlockSendRules, MuteBlocksRestoreInOrderAndTheLastBlockFinishes) {
  using K = BlockSend::Kind;
  const std::vector<int> group = {0, 1};
  EXPECT_EQ(BracketedBlockSends(group, group, true),
            (std::vector<BlockSend>{
                {K::Mute, 0}, {K::Mute, 1}, {K::Block, 0}, {K::Block, 1, true}, {K::Restore, 0}, {K::Restore, 1}}));
  // The form's reset of one channel still mutes the whole group; unlinked, nothing is flagged.
  const std::vector<int> one = {1};
  EXPECT_EQ(BracketedBlockSends(group, one, false),
            (std::vector<BlockSend>{{K::Mute, 0}, {K::Mute, 1}, {K::Block, 1}, {K::Restore, 0}, {K::Restore, 1}}));
  // Link copies: the flag goes on the last copy, not on channel 1's.
  const std::vector<int> targets = {1, 3, 5};
  EXPECT_EQ(CopyBlockSends(targets, true), (std::vector<BlockSend>{{K::Block, 1}, {K::Block, 3}, {K::Block, 5, true}}));
  EXPECT_TRUE(CopyBlockSends({}, true).empty());
}

}  // namespace
}  // namespace zelto::block_sends
