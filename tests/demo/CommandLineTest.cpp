#include <gtest/gtest.h>

#include "demo/host/DemoOptions.h"
#include "demo/host/TourScript.h"

namespace {

using demo::DemoOptions;
using demo::TourCommand;
using demo::TourScript;

std::string refusal(const std::vector<std::string>& arguments) {
  auto parsed = DemoOptions::parse(arguments);
  return parsed.options ? "" : parsed.error;
}

TEST(CommandLineTest, OptionsAreReadOrRefusedWithAReason) {
  auto plain = DemoOptions::parse({});
  ASSERT_TRUE(plain.options);
  EXPECT_FALSE(plain.options->backendUrl);
  EXPECT_FALSE(plain.options->tour);

  auto full = DemoOptions::parse({"--backend", "https://10.0.0.2:8443", "--ca", "ca.pem", "--tour", "t.tour",
                                  "--screenshots", "out", "--window", "--compare", "ref", "--scale", "1.5"});
  ASSERT_TRUE(full.options) << full.error;
  EXPECT_EQ(*full.options->backendUrl, "https://10.0.0.2:8443");
  EXPECT_EQ(*full.options->caFile, "ca.pem");
  EXPECT_EQ(*full.options->compareWith, "ref");
  EXPECT_DOUBLE_EQ(full.options->scale, 1.5);
  EXPECT_TRUE(DemoOptions::parse({"--help"}).options->help);

  EXPECT_EQ(refusal({"--bogus"}), "unknown option \"--bogus\"");
  EXPECT_EQ(refusal({"extra"}), "unknown option \"extra\"");
  EXPECT_EQ(refusal({"--backend"}), "option --backend needs a value");
  // A following option is not taken for the missing value.
  EXPECT_EQ(refusal({"--tour", "--window"}), "option --tour needs a value");
  EXPECT_NE(refusal({"--backend", "http://127.0.0.1:18443"}).find("https"), std::string::npos);
  EXPECT_NE(refusal({"--ca", "ca.pem"}), "");
  EXPECT_NE(refusal({"--scale", "0"}), "");
  EXPECT_NE(refusal({"--scale", "2x"}), "");
  EXPECT_NE(refusal({"--window"}), "");  // a window run needs a tour
  EXPECT_NE(refusal({"--tour", "t", "--window", "--headless"}), "");
  EXPECT_NE(refusal({"--tour", "t", "--compare", "ref"}), "");
  EXPECT_EQ(*DemoOptions::parse({"--ble", "bluez"}).options->ble, "bluez");
  EXPECT_EQ(*DemoOptions::parse({"--ble", "sim", "--headless"}).options->ble, "sim");
  EXPECT_EQ(refusal({"--ble", "hci0"}), "option --ble takes sim or bluez, not \"hci0\"");
  EXPECT_NE(refusal({"--ble", "bluez", "--tour", "t"}), "") << "a real radio cannot follow virtual time";
  EXPECT_NE(refusal({"--ble", "bluez", "--headless"}), "");
  EXPECT_EQ(plain.options->deadMan, DemoOptions::DeadMan::leftShoulder);
  EXPECT_EQ(DemoOptions::parse({"--dead-man", "right-shoulder"}).options->deadMan,
            DemoOptions::DeadMan::rightShoulder);
  EXPECT_EQ(refusal({"--dead-man", "a"}), "option --dead-man takes left-shoulder or right-shoulder, not \"a\"");
  EXPECT_EQ(refusal({"--dead-man"}), "option --dead-man takes left-shoulder or right-shoulder, not \"\"");

  std::string usage = DemoOptions::usage();
  for (const char* option : {"--backend", "--ca", "--tour", "--screenshots", "--window", "--compare", "--headless",
                             "--scale", "--ble", "--dead-man", "--help", "left stick", "退出"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

TEST(CommandLineTest, TourScriptsAreCheckedLineByLine) {
  auto good = TourScript::parse(
      "# comment\n\n  tap 初始化SDK  \nwait 1.5\nexpect SDK初始化成功\nhold up\nrelease wheel\ndrag-wheel -45\n"
      "vehicle take-over-remote\nvehicle lag 600\nscreenshot 03-control_page\nclear\ntype LUMO 01\n",
      "t.tour");
  ASSERT_TRUE(good.script) << good.error;
  const auto& commands = good.script->commands;
  ASSERT_EQ(commands.size(), 11u);
  EXPECT_EQ(commands[0].kind, TourCommand::Kind::tap);
  EXPECT_EQ(commands[0].text, "初始化SDK");
  EXPECT_EQ(commands[0].line, 3);
  EXPECT_DOUBLE_EQ(commands[1].number, 1.5);
  EXPECT_DOUBLE_EQ(commands[5].number, -45);
  EXPECT_EQ(commands[7].text, "lag");
  EXPECT_DOUBLE_EQ(commands[7].number, 600);
  EXPECT_EQ(commands[10].text, "LUMO 01");

  auto error = [](const std::string& text) {
    auto parsed = TourScript::parse(text, "t.tour");
    return parsed.script ? "" : parsed.error;
  };
  EXPECT_EQ(error("tap a\n\nfly away\n"), "t.tour:3: unknown command \"fly\"");
  EXPECT_EQ(error("wait soon"), "t.tour:1: wait needs seconds from 0 to 600, not \"soon\"");
  EXPECT_EQ(error("wait -1"), "t.tour:1: wait needs seconds from 0 to 600, not \"-1\"");
  EXPECT_EQ(error("wait 1e999"), "t.tour:1: wait needs seconds from 0 to 600, not \"1e999\"");
  EXPECT_EQ(error("drag-wheel 270"), "t.tour:1: drag-wheel needs degrees from -180 to 180, not \"270\"");
  EXPECT_EQ(error("hold wheel"), "t.tour:1: hold needs a pad (up, down, left, right), not \"wheel\"");
  EXPECT_EQ(error("tap"), "t.tour:1: tap needs a text");
  EXPECT_EQ(error("expect-speed 2 1"), "t.tour:1: expect-speed needs a lowest and a highest speed in m/s, not \"2 1\"");
  EXPECT_EQ(error("tap-at 10"), "t.tour:1: tap-at needs two coordinates in points, not \"10\"");
  EXPECT_EQ(error("tap-at 10 x"), "t.tour:1: tap-at needs two coordinates in points, not \"10 x\"");
  EXPECT_EQ(error("screenshot ../escape"), "t.tour:1: screenshot needs a name of letters, digits, '-', '_' or '.', "
                                           "not \"../escape\"");
  EXPECT_EQ(error("vehicle explode"), "t.tour:1: unknown vehicle event \"explode\"");
  EXPECT_EQ(error("vehicle lag 5 s"), "t.tour:1: vehicle lag needs milliseconds from 0 to 10000, not \"5\"");
  EXPECT_EQ(TourScript::load("/nonexistent/t.tour").error, "/nonexistent/t.tour: cannot read the tour file");
}

}  // namespace
