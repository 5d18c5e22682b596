#pragma once

// A test-only automation server registered as "Word.Application" for a test
// run. It behaves the way the Word loader relies on Word to behave, records
// every call it receives and can be told to fail a chosen call. The stub is
// an in-process server: a test that loads the same DLL reaches the same
// record through the control functions below.

// The stub's class identifier.
#define PAGELET_WORDSTUB_CLSID L"{A60E2706-9224-4FA1-9B87-70C499822568}"

extern "C" {

// Forgets the record, the failure to inject and the options. Each new
// application starts as Word does under automation: AutomationSecurity 1
// (macros enabled), Options.UpdateLinksAtOpen true, NormalTemplate.Saved true.
typedef void (*TWordStubReset)();
// Makes the occurrence-th call (1-based, counted since the last reset) of the
// member fail with DISP_E_EXCEPTION; "CreateInstance" fails the creation.
// With afterEffect the call does its work first (SaveAs writes its file).
typedef void (*TWordStubFailAt)(const wchar_t* member, int occurrence, int afterEffect);
// When on, SaveAs stores the file under FileName + ".txt" and hands that name
// back through the by-reference FileName argument.
typedef void (*TWordStubRenameOnSave)(int on);
// When not empty, SaveAs still writes the file under the name it was given
// (or that name + ".txt"), but hands this name back instead; a name ending
// in "\" is a folder, and the name handed back is the written file's name
// in that folder.
typedef void (*TWordStubReportOnSave)(const wchar_t* path);
// GetIDsOfNames answers DISP_E_UNKNOWNNAME for this member name on every
// object, as a Word without the member would.
typedef void (*TWordStubHide)(const wchar_t* member);
// Whether the last SaveAs found a file under the name it wrote.
typedef int (*TWordStubSaveAsFoundFile)();
// The record: one line per call, valid until the next control call.
typedef const wchar_t* (*TWordStubLog)();
// Objects of the stub that are still referenced.
typedef int (*TWordStubLiveObjects)();
// Documents open in any stub application.
typedef int (*TWordStubOpenDocuments)();
}
