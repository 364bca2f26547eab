#include <gtest/gtest.h>

#include <string>

#include "lumosdk/utils/NetworkUtil.h"
#include "tests/backend/NetworkUtilFixture.h"

namespace {

using lumo::NetworkError;
using nlohmann::json;
using sim::BackendReply;

class HostileAnswersTest : public lumo::test::NetworkUtilFixture {};

std::string nested(int depth, const std::string& inside = "0") {
  return std::string(static_cast<std::size_t>(depth), '[') + inside + std::string(static_cast<std::size_t>(depth), ']');
}

std::string envelopeAround(const std::string& data) { return R"({"code":0,"msg":"","data":)" + data + "}"; }

// Nesting is refused while the answer is read, before anything walks or copies the tree
// (60,000 levels overflowed the stack), on either kind of request; answers as deep as real
// ones are and brackets inside strings still pass.
TEST_F(HostileAnswersTest, DeeplyNestedAnswersAreRefusedAsUnreadable) {
  for (int depth : {40, 60'000}) {
    backend_->queueReply("/oper_sdk/vehicle_info", BackendReply::raw(envelopeAround(nested(depth))));
    auto foreground = post("/oper_sdk/vehicle_info", {});
    ASSERT_FALSE(foreground.result.isSuccess()) << depth;
    EXPECT_EQ(*foreground.result.error(), NetworkError::message("数据解析失败")) << depth;
    backend_->queueReply("/app_log/save", BackendReply::raw(envelopeAround(nested(depth))));
    auto background = postBackground("/app_log/save", {});
    ASSERT_FALSE(background.result.isSuccess()) << depth;
    EXPECT_EQ(*background.result.error(), NetworkError::message("数据解析失败")) << depth;
  }

  const std::string brackets = "\"" + std::string(100, '[') + "\\\"{{{\"";
  backend_->queueReply("/oper_sdk/vehicle_info",
                       BackendReply::raw(envelopeAround(R"({"a":{"b":[{"c":)" + nested(8, brackets) + "}]}}")));
  auto deepEnough = post("/oper_sdk/vehicle_info", {});
  ASSERT_TRUE(deepEnough.result.isSuccess());
  EXPECT_EQ(deepEnough.result.envelope()["data"]["a"]["b"][0]["c"][0][0][0][0][0][0][0][0],
            std::string(100, '[') + "\"{{{");
  EXPECT_EQ(backend_->unusedReplies(), 0u);
}

}  // namespace

namespace {

// A body past the session's limit ends the transfer itself, whatever kind of request; one
// just under it is read as usual.
TEST_F(HostileAnswersTest, AnswersLargerThanAMebibyteEndTheTransfer) {
  const std::size_t limit = 1 << 20;
  auto ofSize = [](std::size_t size) {
    std::string head = R"({"code":7,"msg":")";
    std::string tail = "\"}";
    return head + std::string(size - head.size() - tail.size(), 'x') + tail;
  };
  backend_->queueReply("/oper_sdk/vehicle_info", BackendReply::raw(ofSize(limit)));
  auto underLimit = post("/oper_sdk/vehicle_info", {});
  ASSERT_TRUE(underLimit.result.isSuccess());
  EXPECT_EQ(underLimit.result.envelope()["msg"].get<std::string>().size(), limit - 19);

  backend_->queueReply("/oper_sdk/vehicle_info", BackendReply::raw(ofSize(limit + 1)));
  auto foreground = post("/oper_sdk/vehicle_info", {});
  ASSERT_FALSE(foreground.result.isSuccess());
  EXPECT_EQ(*foreground.result.error(), NetworkError::message("资源超出最大大小。"));
  backend_->queueReply("/app_log/save", BackendReply::raw(ofSize(8 * limit)));
  auto background = postBackground("/app_log/save", {});
  ASSERT_FALSE(background.result.isSuccess());
  EXPECT_EQ(*background.result.error(), NetworkError::message("资源超出最大大小。"));
  EXPECT_EQ(backend_->unusedReplies(), 0u);
}

}  // namespace
