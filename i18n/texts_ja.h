// Japanese: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_JA[] = {
    // J1-3: ORANGE
    {66, "J1-3: 橙"},
    // J1-4: YELLOW
    {67, "J1-4: 黄"},
    // J2-2: BROWN
    {68, "J2-2: 茶"},
    // J2-3: WHITE
    {69, "J2-3: 白"},
    // J2-4: VIOLET
    {70, "J2-4: 紫"},
    // J2-5: VIOLET/BLACK
    {71, "J2-5: 紫/黒"},
    // J2-6: BLUE
    {72, "J2-6: 青"},
    // J2-7: GREEN
    {73, "J2-7: 緑"},
    // J2-8: GREEN/BLACK
    {74, "J2-8: 緑/黒"},
    // J2-9: PINK
    {75, "J2-9: 桃"},
    // J2-10: GREY
    {76, "J2-10: 灰"},
    // J2-11: GREY/BLACK
    {77, "J2-11: 灰/黒"},
    // J2-12: WHITE/BLACK
    {78, "J2-12: 白/黒"},
    // Pin:
    {79, "ピン:"},
    // Signal:
    {80, "信号:"},
    // I/O type:
    {81, "入出力タイプ:"},
    // Sig.Trigger:
    {82, "信号トリガー:"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_JA));
