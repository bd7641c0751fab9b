// The Workspace's save and load, kept apart so the rest of the Workspace links without xml/.
#include "workspace/Workspace.h"

namespace velmora {

bool Workspace::save(const std::string& fileName) { return database.saveXml(fileName); }

bool Workspace::load(const std::string& fileName) { return database.loadXml(fileName); }

}  // namespace velmora
