#include "lumosdk/utils/ConnectState.h"

namespace lumo {

std::string getDesc(ConnectState state) {
  switch (state) {
    case ConnectState::idle: return "";
    case ConnectState::scanning: return "正在搜索";
    case ConnectState::connectingDevice: return "已发现设备,正在连接";
    case ConnectState::linkConnected: return "已连接,正在请求控制";
    case ConnectState::scanTimedOut: return "扫描超时";
    case ConnectState::connectTimedOut: return "连接超时";
  }
  return "";
}

const char* connectStateName(ConnectState state) {
  switch (state) {
    case ConnectState::idle: return "idle";
    case ConnectState::scanning: return "scanning";
    case ConnectState::connectingDevice: return "connectingDevice";
    case ConnectState::linkConnected: return "linkConnected";
    case ConnectState::scanTimedOut: return "scanTimedOut";
    case ConnectState::connectTimedOut: return "connectTimedOut";
  }
  return "unknown";
}

std::optional<ConnectState> connectStateFromRaw(int raw) {
  if (raw < 0 || raw > 5) return std::nullopt;
  return static_cast<ConnectState>(raw);
}

}  // namespace lumo
