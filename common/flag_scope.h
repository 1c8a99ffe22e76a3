#pragma once
// FlagScope: sets a flag for as long as a scope lasts and clears it when the
// scope ends, however it ends, so that a step that raises never leaves its
// owner believing the work is still going on. No platform header.

class FlagScope {
 public:
  explicit FlagScope(bool& flag) : mFlag(flag) { mFlag = true; }
  ~FlagScope() { mFlag = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& mFlag;
};
