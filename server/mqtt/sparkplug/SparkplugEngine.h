#pragma once
// Sparkplug B on the MQTT connection: this server is an edge node of the group, each PLC a
// device. A clean session whose will is the NDEATH (with this session's bdSeq); then NBIRTH
// (seq 0) and a DBIRTH for every PLC that works, declaring each tag as a metric; then DDATA
// with the changes only, by alias, at the MQTT rate. A PLC that fails gets a DDEATH and,
// once it works again, a new DBIRTH. With a primary host, births wait for its STATE to say
// online, and when it goes offline the node leaves (NDEATH, disconnect) and comes back to
// wait again. Changes that no host could take meanwhile go out after the next births,
// marked historical, oldest first.
#include <memory>
#include <string>

#include "server/mqtt/PublisherEngine.h"

namespace zentarc::mqtt::sparkplug {

// Why a PLC's name cannot be a device id, naming it; empty when it can.
std::string deviceIdProblem(const std::string& plc);
// False with the first such message.
bool checkPlant(const PublishedPlant& plant, std::string& error);

std::unique_ptr<PublisherEngine> makeSparkplugEngine(EngineContext context);

}  // namespace zentarc::mqtt::sparkplug
