// What the plug-in and the host editor exchange: messages, the toolbar record, query codes, event bits.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Messages sent to a frame window.
constexpr UINT kMsgAddToolbar = 2093;   // wParam 0, lParam BarRegistration*; result: toolbar id, 0 or more
constexpr UINT kMsgShowToolbar = 2095;  // wParam toolbar id, lParam 1 show / 0 hide
constexpr UINT kMsgFind = 2077;         // wParam search flags, lParam zero-terminated search text

constexpr WPARAM kFindFlagsPlain = 0x81;
constexpr WPARAM kFindFlagRegExp = 0x20;
constexpr WPARAM kFindFlagsRegExp = kFindFlagsPlain | kFindFlagRegExp;

// PluginProc query codes.
constexpr UINT kQueryName = 2306;
constexpr UINT kQueryVersion = 2307;
constexpr UINT kQueryPreTranslate = 2308;

// OnEvents bits.
constexpr UINT kEventIgnoreMask = 0x3;
constexpr UINT kEventAttach = 0x4;
constexpr UINT kEventClose = 0x8;
constexpr UINT kEventCreate = 0x10;
constexpr UINT kEventToolbarShown = 0x200000;

// Passed by address with kMsgAddToolbar; lives only during that call.
struct BarRegistration {
    uint32_t size;
    uint32_t reserved0;
    HWND window;
    const wchar_t* title;
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t reserved3;
};

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(BarRegistration) == 28, "the host reads a 28-byte record");
static_assert(offsetof(BarRegistration, window) == 8 && offsetof(BarRegistration, title) == 12,
              "the host reads the window at offset 8 and the title at offset 12");
#endif

// The seven exports, as the host calls them.
using OnCommandProc = LRESULT(WINAPI*)(HWND frame);
using QueryStatusProc = BOOL(WINAPI*)(HWND frame, BOOL* checked);
using GetIdProc = UINT(WINAPI*)();
using OnEventsProc = void(WINAPI*)(HWND frame, UINT events, LPARAM unused);
using PluginProcProc = LRESULT(WINAPI*)(HWND frame, UINT code, WPARAM wParam, LPARAM lParam);
