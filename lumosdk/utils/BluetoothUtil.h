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

/// The vehicle's Bluetooth link as the control page sees it: finds the vehicle by its
/// advertised name, connects through LumoBluetoothManager, reports progress as ConnectState,
/// filters the vehicle's state frames for one data listener, reconnects up to three times
/// after an early link loss (a connection that cannot be made or restored is reported, so the
/// page can offer a retry), and sends control frames. One link per process; all state is
/// class-level and everything runs on the main thread. Console prefix "LUMOSDK_BluetoothUtil: ".
class LUMO_EXPORT BluetoothUtil {
 public:
  /// The link's progress, reported to the state listener.
  using ConnectState = lumo::ConnectState;
  /// Receives each change of the link's progress, on the main thread.
  using StateListener = std::function<void(ConnectState)>;
  /// Receives each accepted state frame (8 bytes, checksum valid, not a repeat), on the main thread.
  using DataListener = std::function<void(const platform::Bytes&)>;

  /// The view controller is not used; kept for the page's call shape.
  /// Makes the manager and the adapter probe on first call and wires the link to them; true.
  static bool initialize(const std::shared_ptr<platform::ui::ViewController>& context = nullptr);
  /// Starts a session with the vehicle that advertises `name`: closes the link of an earlier session,
  /// then scans if the adapter is on (the state listener hears "scanning", then "connectingDevice",
  /// "linkConnected", or "scanTimedOut" / "connectTimedOut"); reports "idle" when the adapter is off.
  /// `vehicleId` goes into the frame log records.
  static void initWithSlaverDeviceName(const std::string& name, std::int64_t vehicleId);
  /// Searches again for the current session's vehicle, as initWithSlaverDeviceName does.
  static void discoverSlaverDevice();
  /// Connects to the vehicle found by the search; nothing before it was found.
  static void connect();
  /// Replaces the state listener (one; the control page sets it).
  static void setOnConnectStateChangeListener(StateListener listener);
  /// Replaces the data listener (one; the control page sets it).
  static void setOnDataListener(DataListener listener);
  /// Writes the frame plus 0x0D 0x0A to every writable characteristic of the last service.
  /// Nothing when no link is up or no service was discovered. Each frame is logged (tag "ble_cmd").
  static void sendData(const platform::Bytes& data);
  /// Whether the vehicle's link is up.
  static bool isConnected();
  /// Ends the session: closes the link and forgets the device and its services; nothing of
  /// the ended session reaches the listeners afterwards.
  static void disconnect();
  /// The vehicle found by the current session, or null.
  static std::shared_ptr<platform::ble::Peripheral> getBluetoothDevice();
  /// The progress last reported.
  static ConnectState getCurrentState();

  /// Whether Bluetooth can be used now; see BluetoothPermissionFlow.
  /// The callback runs once on the main thread with true when it can; otherwise the flow shows the
  /// user an alert (Bluetooth off, permission denied) and answers false.
  static void checkAndRequestPermissions(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                         std::function<void(bool)> callback);
  /// As checkAndRequestPermissions.
  static void checkBluetoothEnabled(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                    std::function<void(bool)> callback);
  /// Replaces the flow that decides and asks (the default shows the SDK's alerts).
  static void setPermissionFlow(std::shared_ptr<BluetoothPermissionFlow> flow);
  /// Whether a permission alert is on screen (so that only one is shown).
  static bool isPermissionDialogShowing();
  /// Set by the flow while its alert is on screen.
  static void setPermissionDialogShowing(bool showing);
  /// The adapter-state probe, created on first need.
  static std::shared_ptr<BluetoothStateManager> stateManager();

  /// Drops every class-level field, listener and adapter (each test starts clean).
  static void resetForTesting();
  /// Reconnection attempts made in this session (tests).
  static int retryCountForTesting();
  /// State frames accepted in this session (tests).
  static int acceptedFrameCountForTesting();

  /// Never instantiated: all state is class-level.
  BluetoothUtil() = delete;
};

}  // namespace lumo
