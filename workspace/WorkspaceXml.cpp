// The Workspace's save and load, kept apart so the rest of the Workspace links without xml/.
#include "workspace/Workspace.h"

namespace velmora {

bool Workspace::save(const std::string& fileName) { return database.saveXml(fileName); }

bool Workspace::load(const std::string& fileName) { return database.loadXml(fileName); }

// TODO(velmora): schema section (#11): write the definitions into info; until then as save.
bool Workspace::saveWithSchema(const std::string& fileName) { return save(fileName); }

// TODO(velmora): schema section (#11): read the definitions and replace the database.
bool Workspace::open(const std::string&) { throwError(kNoSchema); }

}  // namespace velmora
