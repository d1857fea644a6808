#pragma once

// The commands that act on all ten dogs at once.
namespace DogCommands {

// Every dog window Form1 to Form10 (created hidden when missing) to walk mode / kennel mode.
void walkAll();
void kennelAll();

// Unticks the ten dog check boxes of the settings window (the dog selection) and puts away the
// dogs that are out: every dog window is closed at once.
void ClearDogSelection();

// One tick of the dog visibility sync: shows the ticked dogs, closes the others.
void syncVisibility();

// Closes all ten dog windows.
void closeAll();

} // namespace DogCommands
