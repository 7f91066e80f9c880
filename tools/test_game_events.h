// The test game's named events, shared with the end-to-end harness that
// watches and stops it.
#pragma once

// Held while the test game runs.
constexpr char kTestGameAliveEvent[] = "Q8TestGame.Alive";
// Set by the tests to end every test game early.
constexpr char kTestGameStopEvent[] = "Q8TestGame.Stop";
