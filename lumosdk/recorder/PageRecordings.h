#pragma once

#include <string_view>

#include "lumosdk/recorder/SessionFile.h"

namespace lumo::recorder {

// The recording of each control page's session and the ending decided for it, kept beside the
// page rather than in it: the page's layout is part of the library's binary interface. Main
// thread only; a page is known by its address while it lives.
class PageRecordings {
 public:
  // Starts the page's recording (nothing when recording is off) and makes it the one events
  // go to.
  static void start(const void* page, SessionStart start);
  // The ending decided for the page's session; the first one decided stays.
  static void noteEnd(const void* page, std::string_view reason, std::string_view text);
  // Writes the session's end (reason "left" when none was decided) and lets the recording go.
  // Idempotent; the page's destructor calls it too.
  static void finish(const void* page);

  PageRecordings() = delete;
};

}  // namespace lumo::recorder
