#pragma once
// The matrix state as readable text for a terminal, section by section. Sections whose block
// has not arrived are left out; names whose table has not arrived are left blank. Names are
// turned from code page 936 into UTF-8.
#include "DeviceStatus.h"
#include "MatrixAction.h"

#include <string>

enum StatusSection {
    SectionModel = 1,
    SectionRouting = 2,
    SectionAudio = 4,
    SectionEdid = 8,
    SectionScenes = 16,
    SectionNetwork = 32,
    SectionAll = 63,
};

std::string FormatStatus(const DeviceStatus& status, int sections = SectionAll);

// The first count entries of one name table, one a line.
std::string FormatNameTable(const DeviceStatus& status, NameTable table, int count);

// What an action changed, as its --wait prints it: the sections of the scope, or the table.
std::string FormatChange(const DeviceStatus& status, ActionScope scope, NameTable names);
