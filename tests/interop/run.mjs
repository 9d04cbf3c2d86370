// Runs the interop tests; they skip until node-simconnect, the independent client they compare
// with, is installed (scripts/install-deps.sh --test, or cd tests/interop && npm ci).
//   By hand: TX_BUILD_DIR=$PWD/build node tests/interop/run.mjs

import fs from 'node:fs';
import path from 'node:path';

import { runTestFiles } from '../support/harness.mjs';

const here = import.meta.dirname;
const installed = fs.existsSync(path.join(here, 'node_modules', 'node-simconnect', 'package.json'));
runTestFiles('Interop tests', installed ? [] : ['node-simconnect'], here, fs.readdirSync(here).filter((name) => name.endsWith('.test.mjs')).sort());
