#include "sim/bluez/MockMethods.h"

namespace sim::bluez {

// The snippets run through exec() with separate locals: no comprehensions or lambdas that
// read local names. `self` is the called object, `args` its converted arguments, `objects`
// every mock object by path.

std::string MockMethods::setFault() {
  return R"PY(
objects['/'].__dict__.setdefault('lumo_faults', {})[str(args[0])] = args[1]
)PY";
}

std::string MockMethods::addGattObject() {
  return R"PY(
self.AddObject(args[0], args[1], args[2], args[3])
self.EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded', 'oa{sa{sv}}',
                [dbus.ObjectPath(args[0]), dbus.Dictionary({args[1]: objects[args[0]].props[args[1]]}, signature='sa{sv}')])
)PY";
}

std::string MockMethods::removeGattObject() {
  return R"PY(
gone = list(objects[args[0]].props.keys())
self.RemoveObject(args[0])
self.EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesRemoved', 'oas',
                [dbus.ObjectPath(args[0]), dbus.Array(gone, signature='s')])
)PY";
}

std::string MockMethods::startDiscovery() {
  return R"PY(
I = 'org.bluez.Adapter1'
if not self.props[I]['Powered']:
    raise dbus.exceptions.DBusException('Resource Not Ready', name='org.bluez.Error.NotReady')
if self.props[I]['Discovering']:
    raise dbus.exceptions.DBusException('Operation already in progress', name='org.bluez.Error.InProgress')
self.UpdateProperties(I, {'Discovering': dbus.Boolean(True)})
)PY";
}

std::string MockMethods::stopDiscovery() {
  return R"PY(
I = 'org.bluez.Adapter1'
if not self.props[I]['Discovering']:
    raise dbus.exceptions.DBusException('No discovery started', name='org.bluez.Error.Failed')
self.UpdateProperties(I, {'Discovering': dbus.Boolean(False)})
)PY";
}

std::string MockMethods::setDiscoveryFilter() {
  return R"PY(
self.lumo_discovery_filter = args[0]
)PY";
}

std::string MockMethods::connect() {
  return R"PY(
faults = objects['/'].__dict__.setdefault('lumo_faults', {})
adapter = objects[str(self.props['org.bluez.Device1']['Adapter'])]
if not adapter.props['org.bluez.Adapter1']['Powered']:
    raise dbus.exceptions.DBusException('Resource Not Ready', name='org.bluez.Error.NotReady')
if int(faults.get('fail_connects', 0)) > 0:
    faults['fail_connects'] = int(faults['fail_connects']) - 1
    raise dbus.exceptions.DBusException('Software caused connection abort', name='org.bluez.Error.Failed')
if self.props['org.bluez.Device1']['Connected']:
    raise dbus.exceptions.DBusException('Already Connected', name='org.bluez.Error.AlreadyConnected')
self.connected = True
self.UpdateProperties('org.bluez.Device1', {'Connected': dbus.Boolean(True)})
)PY";
}

std::string MockMethods::disconnect() {
  return R"PY(
if not self.props['org.bluez.Device1']['Connected']:
    raise dbus.exceptions.DBusException('Not Connected', name='org.bluez.Error.NotConnected')
self.connected = False
self.UpdateProperties('org.bluez.Device1', {'ServicesResolved': dbus.Boolean(False), 'Connected': dbus.Boolean(False)})
)PY";
}

namespace {

// Shared head of the characteristic methods: the owning device must still be linked.
constexpr const char* kCharacteristicHead = R"PY(
I = 'org.bluez.GattCharacteristic1'
flags = self.props[I]['Flags']
device = objects.get(self.path.rsplit('/', 2)[0])
if device is None or not device.props['org.bluez.Device1']['Connected']:
    raise dbus.exceptions.DBusException('Not connected', name='org.bluez.Error.NotConnected')
)PY";

}  // namespace

std::string MockMethods::readValue() {
  return std::string(kCharacteristicHead) + R"PY(
if 'read' not in flags:
    raise dbus.exceptions.DBusException('Read not permitted', name='org.bluez.Error.NotPermitted')
offset = int(args[0].get('offset', 0))
value = list(self.props[I]['Value'])
if offset > len(value):
    raise dbus.exceptions.DBusException('Invalid offset', name='org.bluez.Error.InvalidOffset')
ret = dbus.Array(value[offset:], signature='y')
)PY";
}

std::string MockMethods::writeValue() {
  return std::string(kCharacteristicHead) + R"PY(
kind = str(args[1].get('type', 'command' if 'write-without-response' in flags else 'request'))
needed = {'command': 'write-without-response', 'request': 'write', 'reliable': 'reliable-write'}.get(kind)
if needed is None or needed not in flags:
    raise dbus.exceptions.DBusException('Operation is not supported', name='org.bluez.Error.NotSupported')
if len(args[0]) > 512:
    raise dbus.exceptions.DBusException('Invalid Length', name='org.bluez.Error.InvalidValueLength')
objects['/'].EmitSignal('org.lumo.VehicleFixture.Gatt', 'Written', 'oays',
                        [dbus.ObjectPath(self.path), dbus.Array(args[0], signature='y'), kind])
)PY";
}

std::string MockMethods::startNotify() {
  return std::string(kCharacteristicHead) + R"PY(
if 'notify' not in flags and 'indicate' not in flags:
    raise dbus.exceptions.DBusException('Operation is not supported', name='org.bluez.Error.NotSupported')
if not self.props[I]['Notifying']:
    self.UpdateProperties(I, {'Notifying': dbus.Boolean(True)})
)PY";
}

std::string MockMethods::stopNotify() {
  return R"PY(
I = 'org.bluez.GattCharacteristic1'
if not self.props[I]['Notifying']:
    raise dbus.exceptions.DBusException('No notify session started', name='org.bluez.Error.Failed')
self.UpdateProperties(I, {'Notifying': dbus.Boolean(False)})
)PY";
}

}  // namespace sim::bluez
