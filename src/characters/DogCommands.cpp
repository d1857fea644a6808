#include "DogCommands.h"

namespace DogCommands {

void walkAll() {}
void kennelAll() {}
void ClearDogSelection() {}
void syncVisibility() {}

} // namespace DogCommands
