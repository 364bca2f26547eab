// lumo_session_report FILE.mcap [--png OUT.png] [--width POINTS] [--scale N]: prints the
// figures of a recorded control session and draws its timeline picture.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/session_report/RecordingReader.h"
#include "tools/session_report/SessionSummary.h"
#include "tools/session_report/TimelinePicture.h"

namespace {

// The usage on standard output when asked for, on standard error after a mistake.
int usage(const char* why) {
  FILE* out = why ? stderr : stdout;
  if (why) std::fprintf(stderr, "lumo_session_report: %s\n", why);
  std::fprintf(out,
               "usage: lumo_session_report FILE.mcap [--png OUT.png] [--width POINTS] [--scale N]\n"
               "  Prints the figures of a recorded control session; with --png also draws its\n"
               "  timeline (default 1200 points wide, 1 pixel per point).\n"
               "  Exit status: 0 a whole recording, 3 a recording cut short, damaged or unreadable\n"
               "  (what is whole is still reported), 1 the picture could not be written, 2 bad arguments.\n");
  return 2;
}

bool number(const char* text, double low, double high, double& out) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= low && value <= high)) return false;
  out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file, png;
  double width = report::TimelinePicture::kDefaultWidth, scale = 1;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      usage(nullptr);
      return 0;
    }
    if (arg == "--png") {
      if (!hasValue) return usage("--png needs a file name");
      png = argv[++i];
    } else if (arg == "--width") {
      if (!hasValue || !number(argv[++i], 400, 8000, width)) return usage("--width takes 400 to 8000 points");
    } else if (arg == "--scale") {
      if (!hasValue || !number(argv[++i], 0.5, 4, scale)) return usage("--scale takes 0.5 to 4");
    } else if (!arg.empty() && arg[0] == '-') {
      return usage(("unknown option " + arg).c_str());
    } else if (file.empty()) {
      file = arg;
    } else {
      return usage("one recording at a time");
    }
  }
  if (file.empty()) return usage("which recording?");

  report::SessionTrace trace = report::RecordingReader::readFile(file);
  std::fputs(report::SessionSummary::describe(trace).c_str(), stdout);
  if (!png.empty()) {
    if (!report::TimelinePicture::writePng(trace, png, width, scale)) {
      std::fprintf(stderr, "lumo_session_report: cannot write %s\n", png.c_str());
      return 1;
    }
    std::printf("%-18s%s\n", "picture", png.c_str());
  }
  return trace.cut ? 3 : 0;
}
