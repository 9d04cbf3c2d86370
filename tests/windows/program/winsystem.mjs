// The window tests' names for the Wine system; the harness itself is in tests/support.
export * from '../../support/harness.mjs';
export * from '../../support/system_win32.mjs';
