#pragma once

// The JSON Schema of each recording channel, written once per file.
namespace lumo::recorder::schemas {

inline constexpr const char* kSession = R"({"title":"lumo.Session","type":"object","properties":{)"
    R"("event":{"enum":["start","end"]},"vin":{"type":"string"},"vehicleId":{"type":"integer"},)"
    R"("vehicleName":{"type":"string"},"bleName":{"type":"string"},"sdkVersion":{"type":"string"},)"
    R"("wallTimeMs":{"type":"integer"},"monotonicNs":{"type":"integer"},"reason":{"type":"string"},)"
    R"("text":{"type":"string"},"droppedEvents":{"type":"integer"}},"required":["event"]})";

inline constexpr const char* kControl = R"({"title":"lumo.ControlFrame","type":"object","properties":{)"
    R"("seq":{"type":"integer"},"bytes":{"type":"string"},"enableCmd":{"type":"boolean"},)"
    R"("antiCollision":{"type":"boolean"},"throttle":{"type":"integer"},"brake":{"type":"integer"},)"
    R"("steering":{"type":"integer"}},)"
    R"("required":["seq","bytes","enableCmd","antiCollision","throttle","brake","steering"]})";

inline constexpr const char* kState = R"({"title":"lumo.StateFrame","type":"object","properties":{)"
    R"("bytes":{"type":"string"},"size":{"type":"integer"},"accepted":{"type":"boolean"},)"
    R"("refusal":{"enum":["short","long","checksum","repeat","other_device"]},)"
    R"("driveMode":{"type":"integer"},"authority":{"type":"boolean"},)"
    R"("safety":{"enum":["unknown","disabled","enabled"]},"delayMs":{"type":["integer","null"]}},)"
    R"("required":["bytes","accepted","driveMode","authority","safety","delayMs"]})";

inline constexpr const char* kLink = R"({"title":"lumo.Link","type":"object","properties":{)"
    R"("state":{"type":"string"}},"required":["state"]})";

inline constexpr const char* kInput = R"({"title":"lumo.Input","type":"object","properties":{)"
    R"("event":{"enum":["select","release","wheel"]},"pad":{"enum":["forward","back","left","right"]},)"
    R"("angle":{"type":"number"}},"required":["event"]})";

inline constexpr const char* kUi = R"({"title":"lumo.Ui","type":"object","properties":{)"
    R"("kind":{"enum":["dialog","toast","wait","warning"]},"action":{"enum":["show","dismiss"]},)"
    R"("text":{"type":"string"}},"required":["kind","action","text"]})";

}  // namespace lumo::recorder::schemas
