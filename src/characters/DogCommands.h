#pragma once

// The commands that act on all ten dogs at once.
namespace DogCommands {

// Every dog window Form1 to Form10 (created hidden when missing) to walk mode / kennel mode.
void walkAll();
void kennelAll();

// Unticks the ten dog check boxes of the settings window (the dog selection) and puts away the
// dogs that are out: every visible dog window is closed at once.
void ClearDogSelection();

// One tick of the dog visibility sync: shows the ticked dogs, closes the others.
void syncVisibility();

// Closes the dog windows on the screen. Hidden ones go on walking, to show up wherever they have
// walked to.
void closeVisible();

} // namespace DogCommands
