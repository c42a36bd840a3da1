// Every test of a binary that links this has a time limit: a test that runs past it
// ends the whole run at once, naming itself, instead of holding it until ctest's
// limit and failing without a name.
#pragma once

// The limit for each test: QV450_TEST_LIMIT_S from the environment, else this.
constexpr int DEFAULT_TEST_LIMIT_S = 120;

// Gives the running test a limit of its own, counted from now; for tests that wait on
// something (a dialog, a peer) that a fault could leave waiting for ever.
void limit_this_test(int seconds);
