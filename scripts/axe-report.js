#!/usr/bin/env node
// Runs axe-core over HTML pages in Debian's headless Chromium and fails on any violation of the WCAG
// 2.x A and AA rules (the tags wcag2a, wcag2aa, wcag21aa and wcag22aa).
//   node scripts/axe-report.js PAGE.html...     exit 0: no violation; 1: a violation; 2: could not run
// The packages come from scripts/browser/ (`bash scripts/setup.sh --browser` runs `npm ci` there).
// CHROMIUM names another browser than /usr/bin/chromium.
//
// Each page is checked as it opens and, if it has folded <details>, again with every one unfolded (as a
// reader would), so that rows a reader unfolds are held to the same rules. Nothing here knows the pages'
// markup: axe walks whatever document the browser built.
//
// The pages forbid scripts (their Content-Security-Policy has script-src 'none'), and the check keeps
// that policy in force: nothing is injected as a <script> element and the policy is not bypassed.
// axe's source is handed to the page through the DevTools protocol (page.evaluate sends it as
// Runtime.evaluate), which the policy does not govern, because the policy restricts what the document
// may load and run, not what the browser's controller runs in it. The page under test is the file as
// written and its policy stays in force while axe runs (a <script> element added to it is refused); only
// the test's own code runs, and axe reads the document without changing it (the only change the check
// makes is opening <details>, which a reader's click does too).
'use strict';

const path = require('path');
const { createRequire } = require('module');
const { pathToFileURL } = require('url');

const browserRequire = createRequire(path.join(__dirname, 'browser', 'package.json'));
const TAGS = ['wcag2a', 'wcag2aa', 'wcag21aa', 'wcag22aa'];

function loadPackages() {
  try {
    return { axe: browserRequire('axe-core'), puppeteer: browserRequire('puppeteer-core') };
  } catch (error) {
    console.error(`axe: ${error.message}\naxe: run bash scripts/setup.sh --browser (npm ci in scripts/browser)`);
    process.exit(2);
  }
}

// One run of axe in the page; the options travel as JSON, the results come back as JSON.
async function runAxe(page) {
  return page.evaluate(async (tags) => {
    const results = await window.axe.run(document, { runOnly: { type: 'tag', values: tags }, resultTypes: ['violations'] });
    const nodes = (rule) => rule.nodes.map((node) => ({ target: node.target, summary: node.failureSummary }));
    return {
      violations: results.violations.map((rule) => ({ id: rule.id, impact: rule.impact, help: rule.help, nodes: nodes(rule) })),
      passes: results.passes.length,
      incomplete: results.incomplete.map((rule) => rule.id),
    };
  }, TAGS);
}

// Each rule broken: its id, impact and help, what axe says of its first element, then the elements.
function printViolations(label, violations) {
  for (const rule of violations) {
    console.log(`FAIL: axe: ${label}: ${rule.id} (${rule.impact}): ${rule.help}, ${rule.nodes.length} element(s)`);
    const summary = rule.nodes.length ? rule.nodes[0].summary : '';
    if (summary) console.log(`    ${summary.trim().replace(/:\n\s*/, ': ').replace(/\n\s*/g, '; ')}`);
    for (const node of rule.nodes.slice(0, 10)) console.log(`    at ${node.target.join(' >>> ')}`);
    if (rule.nodes.length > 10) console.log(`    and ${rule.nodes.length - 10} more`);
  }
}

// Checks one page as it opens and, if it folds anything, unfolded; returns the number of violations.
async function checkPage(browser, axeSource, file) {
  const page = await browser.newPage();
  try {
    await page.goto(pathToFileURL(path.resolve(file)).href, { waitUntil: 'load' });
    await page.evaluate(axeSource);
    let found = 0;
    for (const state of ['as it opens', 'with every <details> open']) {
      if (state !== 'as it opens') {
        const opened = await page.evaluate(() => {
          const folded = [...document.querySelectorAll('details:not([open])')];
          folded.forEach((details) => { details.open = true; });
          return folded.length;
        });
        if (opened === 0) break;
      }
      const label = `${path.basename(file)} ${state}`;
      const result = await runAxe(page);
      printViolations(label, result.violations);
      const review = result.incomplete.length ? `; to review by hand: ${result.incomplete.join(', ')}` : '';
      console.log(`axe: ${label}: ${result.violations.length} rule(s) violated, ${result.passes} passed${review}`);
      found += result.violations.length;
    }
    return found;
  } finally {
    await page.close();
  }
}

async function main(files) {
  if (files.length === 0) {
    console.error('usage: node scripts/axe-report.js PAGE.html...');
    return 2;
  }
  const { axe, puppeteer } = loadPackages();
  const args = ['--disable-gpu', '--no-first-run', '--no-default-browser-check'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');  // Chromium as root needs it
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, args, timeout: 60000,
    protocolTimeout: 120000,
  });
  try {
    let found = 0;
    for (const file of files) found += await checkPage(browser, axe.source, file);
    console.log(`axe-core ${axe.version} (${TAGS.join(', ')}): ${found} violation(s) in ${files.length} page(s)`);
    return found === 0 ? 0 : 1;
  } finally {
    await browser.close();
  }
}

main(process.argv.slice(2)).then((code) => process.exit(code), (error) => {
  console.error(`axe: ${error.stack || error}`);
  process.exit(2);
});
