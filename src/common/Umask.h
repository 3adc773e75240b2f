#pragma once

// The process's file-creation mask, read without changing it: setting it to read it would
// give files that other threads create meanwhile the wrong mode.
unsigned processUmask();
