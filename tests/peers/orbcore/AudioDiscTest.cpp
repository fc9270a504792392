// The session an audio CD is written as on a drive, built without one: where each track lies in the .bin,
// its pregap, and the libburn tracks made from them.
#include <gtest/gtest.h>
#include <libburn/libburn.h>

#include <string>
#include <vector>

#include "peers/orbcore/BurnSession.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

using orbcore::AudioTrackPlace;
using AudioDiscTest = testing_support::IsolatedTest;

TEST_F(AudioDiscTest, TracksFollowEachOtherAndOnlyTheFirstHasThePregap) {
  const std::pair<std::vector<std::uint64_t>, std::vector<AudioTrackPlace>> rows[] = {
      {{}, {}},
      {{10}, {{0, 23520, 150}}},
      {{10, 3, 1}, {{0, 23520, 150}, {23520, 7056, 0}, {30576, 2352, 0}}},
  };
  for (const auto& [sectors, places] : rows) EXPECT_EQ(orbcore::AudioTrackPlaces(sectors), places) << sectors.size();
}

TEST_F(AudioDiscTest, TheSessionHoldsOneAudioTrackPerPlace) {
  orbcore::BurnLibrary library;
  ASSERT_TRUE(library.ok());
  const std::string bin = folder() / "disc.bin";
  testing_support::WriteFile(bin, std::string(14 * 2352, '\x5a'));
  orbcore::AudioDisc disc(bin, orbcore::AudioTrackPlaces({10, 3, 1}));
  ASSERT_TRUE(disc.ok());
  int count = 0;
  burn::burn_track** tracks = burn::burn_session_get_tracks(disc.session(), &count);
  ASSERT_EQ(count, 3);
  std::vector<int> sectors;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(burn::burn_track_get_mode(tracks[i]) & BURN_AUDIO, BURN_AUDIO);
    sectors.push_back(burn::burn_track_get_sectors(tracks[i]));
  }
  EXPECT_EQ(sectors, (std::vector<int>{10, 3, 1}));

  EXPECT_FALSE(orbcore::AudioDisc(folder() / "none.bin", orbcore::AudioTrackPlaces({1})).ok());
}

}  // namespace
