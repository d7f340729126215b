import { defineChecks } from '../lib/suite.js';

defineChecks('file');
