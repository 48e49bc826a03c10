// The catalogue page in Debian's Chromium, headless, opened from file:// as
// a user opens it: no console error, no request beyond the file itself, one
// entry per model profile, the ThinkPads first in the natural order of their
// names, the search (by name or by a machine type as a sticker gives it) and
// the feature filter leaving exactly the profiles they must, and the page
// whole without JavaScript. What the page must show is read from the profile
// files here, not from the generator.
//   node browser_test.mjs PAGE PROFILES_DIR TOOLS_DIR SCREENSHOT
// Exits 77 with "SKIPPED: reason" when no browser can be had.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

const [page_path, profiles_dir, tools_dir, screenshot] = process.argv.slice(2);
const CHROMIUM = process.env.OSTRANE_CHROMIUM || '/usr/bin/chromium';

function skip(reason) {
  console.log(`SKIPPED: ${reason}`);
  process.exit(77);
}

if (!fs.existsSync(CHROMIUM)) skip(`no Chromium at ${CHROMIUM} (Debian package chromium)`);
let chromium;
try {
  ({ chromium } = createRequire(path.resolve(tools_dir, 'catalogue', 'package.json'))('playwright-core'));
} catch (error) {
  skip(`playwright-core is not installed in ${tools_dir}/catalogue (scripts/install-browser-test.sh): ${error.message}`);
}

// The model profiles, as their files state them: the first id is the
// profile's, the others its capabilities'.
const models = [];
for (const name of fs.readdirSync(profiles_dir).filter((n) => n.endsWith('.toml'))) {
  const text = fs.readFileSync(path.join(profiles_dir, name), 'utf8');
  if (!/^scope = "model"$/m.test(text)) continue;
  const ids = [...text.matchAll(/^id = "([^"]*)"$/gm)].map((m) => m[1]);
  const types = (text.match(/^mtm = \[(.*)\]$/m)?.[1] ?? '').match(/"[^"]*"/g)?.map((t) => t.slice(1, -1)) ?? [];
  const display = text.match(/^display_name = "([^"]*)"$/m)?.[1] ?? '';
  models.push({ id: ids[0], name: display, types, capabilities: ids.slice(1) });
}

let failures = 0;
function check(what, condition, detail = '') {
  if (condition) {
    console.log(`ok: ${what}`);
  } else {
    console.log(`FAIL: ${what}${detail ? `: ${detail}` : ''}`);
    failures += 1;
  }
}
const same = (a, b) => JSON.stringify([...a].sort()) === JSON.stringify([...b].sort());

const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox'] });
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  const errors = [];
  const requests = [];
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  page.on('pageerror', (error) => errors.push(String(error)));
  page.on('request', (request) => { if (!request.url().startsWith('file:')) requests.push(request.url()); });

  const url = pathToFileURL(path.resolve(page_path)).href;
  await page.goto(url, { waitUntil: 'load' });
  const load_ms = await page.evaluate(() => performance.getEntriesByType('navigation')[0].loadEventEnd);
  const visible = () => page.$$eval('article.modele', (all) => all.filter((a) => !a.hidden).map((a) => a.dataset.id));

  const entries = await visible();
  check('one entry per model profile', same(entries, models.map((m) => m.id)),
        `${entries.length} entries, ${models.length} model profiles`);

  // The ThinkPad group comes first, and in it "ThinkPad 11e" before
  // "ThinkPad 11e 3rd Gen", "ThinkPad 13" before "ThinkPad 13 2nd Gen".
  const first = (await page.$$eval('section.gamme', (all) => all.map((s) => [s.dataset.gamme,
    [...s.querySelectorAll('article.modele')].map((a) => a.dataset.id)])))[0] ?? ['none', []];
  const at = (name) => first[1].indexOf(models.find((m) => m.name === name)?.id);
  const pairs = [['ThinkPad 11e', 'ThinkPad 11e 3rd Gen'], ['ThinkPad 13', 'ThinkPad 13 2nd Gen']];
  check('the ThinkPad group comes first, in the natural order of the names', first[0] === 'ThinkPad' &&
        pairs.every(([a, b]) => at(a) >= 0 && at(a) < at(b)),
        `${first[0]}: ${pairs.map(([a, b]) => `${a} at ${at(a)}, ${b} at ${at(b)}`).join('; ')}`);

  const listing = models.filter((m) => m.types.includes('20XW')).map((m) => m.id);
  for (const query of ['20XW', '20XW000UUS', '20xw-000uus', 'MTM 20XW']) {
    await page.fill('#q', query);
    const found = await visible();
    check(`${query} leaves exactly the profile that lists 20XW`, listing.length === 1 && same(found, listing),
          `${found} against ${listing}`);
  }
  await page.fill('#q', '20XW');
  if (listing.length === 1) await page.click(`#profil-${listing[0]} summary`);
  await page.screenshot({ path: screenshot, fullPage: true });

  await page.fill('#q', '');
  const having = models.filter((m) => m.capabilities.includes('privacy_screen')).map((m) => m.id);
  await page.selectOption('#capacite', 'privacy_screen');
  const filtered = await visible();
  check('the privacy screen filter leaves exactly the profiles that have it', having.length > 0 && same(filtered, having),
        `${filtered.length} shown, ${having.length} expected`);

  check('no console error', errors.length === 0, errors.join(' | '));
  check('no request beyond the file', requests.length === 0, requests.join(' '));

  const bare = await browser.newPage({ javaScriptEnabled: false });
  await bare.goto(url, { waitUntil: 'load' });
  const without = await bare.$$eval('article.modele', (all) => all.filter((a) => !a.hidden).length);
  check('without JavaScript every entry shows and the filters do not', without === models.length &&
        await bare.$eval('#filtres', (form) => form.hidden));

  const size = fs.statSync(page_path).size;
  console.log(`catalogue: ${(size / 1024).toFixed(0)} KiB, loaded in ${load_ms.toFixed(0)} ms; screenshot ${screenshot}`);
} finally {
  await browser.close();
}
process.exit(failures ? 1 : 0);
