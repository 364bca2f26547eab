#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lumosdk/LumoExport.h"
#include "lumosdk/utils/BluetoothPermissionFlow.h"
#include "lumosdk/utils/ConnectState.h"
#include "lumosdk/utils/LumoBluetoothTypes.h"
#include "platform/ble/Peripheral.h"

namespace lumo {

class BluetoothStateManager;

// The vehicle's Bluetooth link as the control page sees it: finds the vehicle by its
// advertised name, connects through LumoBluetoothManager, reports progress as ConnectState,
// filters the vehicle's state frames for one data listener, reconnects up to three times
// after an early link loss (a connection that cannot be made or restored is reported, so the
// page can offer a retry), and sends control frames. One link per process; all state is
// class-level and everything runs on the main thread. Console prefix "LUMOSDK_BluetoothUtil: ".
class LUMO_EXPORT BluetoothUtil {
 public:
  using ConnectState = lumo::ConnectState;
  using StateListener = std::function<void(ConnectState)>;
  using DataListener = std::function<void(const platform::Bytes&)>;

  // The view controller is not used; kept for the page's call shape.
  static bool initialize(const std::shared_ptr<platform::ui::ViewController>& context = nullptr);
  static void initWithSlaverDeviceName(const std::string& name, std::int64_t vehicleId);
  static void discoverSlaverDevice();
  static void connect();
  static void setOnConnectStateChangeListener(StateListener listener);
  static void setOnDataListener(DataListener listener);
  // Writes the frame plus 0x0D 0x0A to every writable characteristic of the last service.
  static void sendData(const platform::Bytes& data);
  static bool isConnected();
  // Ends the session: closes the link and forgets the device and its services; nothing of
  // the ended session reaches the listeners afterwards.
  static void disconnect();
  static std::shared_ptr<platform::ble::Peripheral> getBluetoothDevice();
  static ConnectState getCurrentState();

  // Whether Bluetooth can be used now; see BluetoothPermissionFlow.
  static void checkAndRequestPermissions(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                         std::function<void(bool)> callback);
  static void checkBluetoothEnabled(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                    std::function<void(bool)> callback);
  static void setPermissionFlow(std::shared_ptr<BluetoothPermissionFlow> flow);
  static bool isPermissionDialogShowing();
  static void setPermissionDialogShowing(bool showing);
  // The adapter-state probe, created on first need.
  static std::shared_ptr<BluetoothStateManager> stateManager();

  // Drops every class-level field, listener and adapter (each test starts clean).
  static void resetForTesting();
  static int retryCountForTesting();
  static int acceptedFrameCountForTesting();

  BluetoothUtil() = delete;
};

}  // namespace lumo
