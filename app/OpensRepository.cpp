#include "app/OpensRepository.h"

namespace app {

bool OpensRepository(const options::ArgumentMap& arguments) { return arguments.Find(L"/command") != nullptr; }

}  // namespace app
