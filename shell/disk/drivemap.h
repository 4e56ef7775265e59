// shell/disk: raw disks for the boot-record scan: the drive map, the disk device, boot records.
// Uses base and the rest of shell.
//
// The drive map: the whole disks listed in the partitions file, numbered
// with drive keys from 128, for the boot-record scan and the engine's disk
// services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>

#include "shell/disk/diskdevice.h"

constexpr uint32_t kFirstHardDriveKey = 128;

// Where the disks are listed and where their devices are; tests point them
// at files of their own.
extern const char* PartitionsFile;
extern const char* DeviceFolder;
constexpr const char* kDefaultPartitionsFile = "/proc/partitions";
constexpr const char* kDefaultDeviceFolder = "/dev";

extern std::map<uint32_t, DiskDevice> DriveMap;

// The path of the next whole disk listed in the partitions stream, into
// path (size bytes): 1, or 0 at the end of the list. A device counts as a
// whole disk when the kernel reports it to start at sector 0, or, when it
// cannot tell, when its name does not end in a digit.
int NextWholeDisk(FILE* stream, char* path, size_t size);

// Empties the map, then opens and measures every whole disk under the next
// key from 128: 0, or -1 when the partitions file cannot be read.
int BuildDriveMap();
void ClearDriveMap();

// The device of a drive key, or null; the map is not changed.
DiskDevice* FindDrive(uint32_t key);
// The drive key of a whole disk of the map, by its path as the map has it;
// 0 (a key no disk has) for any other name. The map is not changed.
uint32_t DriveKeyFor(const char* device);
