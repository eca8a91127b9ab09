// The page's reading of key frames as entrance, hold and exit: every motion it writes reads back
// the same, strings stay drawn to the end (the engine draws nothing after a string's last key),
// and key frames of other shapes are not taken for a motion.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { motionKeys, motionOf } from '../../designer/page/model.js';

const LENGTH = 4;
const motions = [
  { inEffect: 'PATH_FADE', inEnd: 1, outEffect: '', outStart: LENGTH },
  { inEffect: '', inEnd: 0, outEffect: 'PATH_WIPEDOWN', outStart: 3 },
  { inEffect: 'PATH_SLIDERIGHT', inEnd: 0.6, outEffect: 'PATH_FADE', outStart: 3.4 },
  { inEffect: 'PATH_FADE', inEnd: LENGTH, outEffect: '', outStart: LENGTH },
  { inEffect: '', inEnd: 0, outEffect: '', outStart: LENGTH },
];

test('motions read back as written, and keys reach the end', () => {
  for (const m of motions) {
    const keys = motionKeys(m, LENGTH);
    assert.deepEqual(motionOf({ keys }, LENGTH), m);
    if (keys.length) assert.equal(keys.at(-1).time, LENGTH, JSON.stringify(keys));
  }
});

test('other key frames are kept as they are', () => {
  const others = [
    [{ time: 0, effect: 'PATH_FADE', progress: 0.5 }, { time: 2, effect: 'PATH_FADE' }],
    [{ time: 1, effect: 'PATH_FADE', progress: 0 }, { time: 2, effect: 'PATH_FADE' }, { time: 4, effect: 'PATH_FADE' }],
    [{ time: 0, effect: 'A', progress: 0 }, { time: 1, effect: 'A' }, { time: 2, effect: 'B' }, { time: 3, effect: 'C', progress: 0 }],
  ];
  for (const keys of others) assert.equal(motionOf({ keys }, LENGTH), null, JSON.stringify(keys));
});
