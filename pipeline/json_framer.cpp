#include "pipeline/json_framer.h"

#include <utility>

void JsonFramer::Skip() {
  ++mSkipped;
  mObject.clear();
  mDepth = 0;
  mInString = mEscaped = mOversize = false;
}

void JsonFramer::Feed(std::string_view bytes) {
  for (const char c : bytes) {
    switch (mState) {
      case State::Stray:
        // Text outside any object runs to the next line or object.
        if (c == '\n') {
          mState = State::Between;
          break;
        }
        if (c != '{') break;
        mState = State::Between;
        [[fallthrough]];
      case State::Between:
        if (c == '{') {
          mState = State::InObject;
          mObject.assign(1, c);
          mDepth = 1;
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
          ++mSkipped;
          mState = State::Stray;
        }
        break;
      case State::InObject:
        if (c == '\n') {
          // Objects stand on one line: one cut off here is broken.
          Skip();
          mState = State::Between;
          break;
        }
        if (!mOversize) {
          if (mObject.size() >= kMaxObject) {
            mOversize = true;
            mObject.clear();
            mObject.shrink_to_fit();
          } else {
            mObject += c;
          }
        }
        if (mInString) {
          if (mEscaped) {
            mEscaped = false;
          } else if (c == '\\') {
            mEscaped = true;
          } else if (c == '"') {
            mInString = false;
          }
        } else if (c == '"') {
          mInString = true;
        } else if (c == '{' || c == '[') {
          ++mDepth;
        } else if ((c == '}' || c == ']') && --mDepth == 0) {
          // Only a brace closes an object; a bracket there makes it broken.
          if (mOversize || c != '}') {
            Skip();
          } else {
            mReady.push_back(std::exchange(mObject, {}));
          }
          mState = State::Between;
        }
        break;
    }
  }
}

void JsonFramer::EndOfDatagram() {
  if (mState == State::InObject) Skip();
  mState = State::Between;
}

std::optional<std::string> JsonFramer::Next() {
  if (mReady.empty()) return std::nullopt;
  std::string object = std::move(mReady.front());
  mReady.pop_front();
  return object;
}
