#pragma once

#include <array>

// The ten dogs under their numberings. The user knows a dog by its dog number, which is also the
// circled digit of the marker a mail carries; the dog lives in window FormN, is chosen with the
// settings box CheckN of that same N, and its choice is saved under key NAMEk of CharaData.ini.
// Dogs 1 to 5 were numbered differently in each place; 6 to 10 agree everywhere.
namespace DogTable {

constexpr int Count = 10;

struct Dog
{
    int dogNumber;   // 1..10, and the marker digit
    int formNumber;  // Form1..Form10
    int checkNumber; // Check1..Check10 of the settings window
    int iniKey;      // NAME1..NAME10 of CharaData.ini
};

inline constexpr std::array<Dog, Count> Dogs = {{
    {1, 4, 4, 3},
    {2, 1, 1, 4},
    {3, 5, 5, 2},
    {4, 3, 3, 5},
    {5, 2, 2, 1},
    {6, 6, 6, 6},
    {7, 7, 7, 7},
    {8, 8, 8, 8},
    {9, 9, 9, 9},
    {10, 10, 10, 10},
}};

constexpr bool valid(int number)
{
    return number >= 1 && number <= Count;
}

// The dog's number `wanted` under the numbering in which it has number `value` under `key`;
// 0 for a number outside 1..10.
constexpr int lookup(int Dog::*key, int value, int Dog::*wanted)
{
    for (const Dog &d : Dogs)
        if (d.*key == value)
            return d.*wanted;
    return 0;
}

constexpr int formOfDog(int dog)
{
    return lookup(&Dog::dogNumber, dog, &Dog::formNumber);
}

constexpr int checkOfDog(int dog)
{
    return lookup(&Dog::dogNumber, dog, &Dog::checkNumber);
}

constexpr int dogOfForm(int form)
{
    return lookup(&Dog::formNumber, form, &Dog::dogNumber);
}

constexpr int iniKeyOfCheck(int check)
{
    return lookup(&Dog::checkNumber, check, &Dog::iniKey);
}

constexpr int checkOfIniKey(int key)
{
    return lookup(&Dog::iniKey, key, &Dog::checkNumber);
}

// The circled digit ① .. ⑩ that names dog `dog` in a mail's marker; 0 for an invalid number.
constexpr char16_t markerDigit(int dog)
{
    return valid(dog) ? char16_t(0x2460 + dog - 1) : char16_t(0);
}

// Every numbering must name each dog exactly once, or a box would choose the wrong dog.
constexpr bool isOneToOne()
{
    for (int n = 1; n <= Count; ++n) {
        if (Dogs[size_t(n - 1)].dogNumber != n || dogOfForm(formOfDog(n)) != n
            || iniKeyOfCheck(checkOfIniKey(n)) != n || checkOfIniKey(iniKeyOfCheck(n)) != n
            || !valid(checkOfDog(n)))
            return false;
        // The settings box of a dog has the number of its window.
        if (checkOfDog(n) != formOfDog(n))
            return false;
    }
    return true;
}
static_assert(isOneToOne());

} // namespace DogTable
