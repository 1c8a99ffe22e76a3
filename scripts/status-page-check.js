// Drives the status page in headless Chromium (playwright-core on the
// system's browser): the page is live, a message the simulator publishes
// after the start file is made shows within 2 s, hostile texts show as text
// and run nothing, and the chart draws. Called by scripts/check-status-page.
"use strict";
const fs = require("fs");
const { chromium } = require("playwright-core");

function fail(text) {
  console.error("status page: " + text);
  process.exit(1);
}

(async () => {
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
  });
  try {
    const page = await browser.newPage({ viewport: { width: 900, height: 1100 } });
    const dialogs = [];
    page.on("dialog", (d) => { dialogs.push(d.message()); d.dismiss(); });
    await page.goto(process.env.PAGE_URL);
    await page.waitForFunction(() => document.getElementById("live").textContent === "live", null, { timeout: 10000 });
    // The decoder linked: the simulator may start.
    await page.waitForFunction(() => /linked/.test(document.getElementById("inputs").textContent), null,
                               { timeout: 30000 });
    fs.writeFileSync(process.env.START_FILE, "");
    const started = Date.now();
    await page.waitForFunction(() => document.getElementById("messages").textContent.includes("MARKER"), null,
                               { timeout: 10000 });
    const shownAfter = Date.now() - started;
    console.log("status page: the first message showed " + shownAfter + " ms after the simulator was told to start");
    // The simulator's own wait for the file and its first send are part of
    // this time.
    if (shownAfter > 2000) fail("the message took " + shownAfter + " ms");
    await page.waitForFunction(() => document.getElementById("messages").textContent.includes("SCRIPT"), null,
                               { timeout: 10000 });
    const look = await page.evaluate(() => {
      const table = document.getElementById("messages");
      const canvas = document.getElementById("chart");
      const pixels = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
      // Coloured pixels above the zero line: a series that rose.
      let coloured = 0;
      for (let y = 0; y < canvas.height - 18; ++y) {
        for (let x = 0; x < canvas.width; ++x) {
          const i = (y * canvas.width + x) * 4;
          const [r, g, b, a] = pixels.slice(i, i + 4);
          if (a > 0 && Math.max(r, g, b) - Math.min(r, g, b) > 60) ++coloured;
        }
      }
      return {
        text: table.textContent,
        elements: table.querySelectorAll("img, script").length,
        pwned: window.__pwned === undefined ? null : window.__pwned,
        coloured,
      };
    });
    if (!look.text.includes('<img src=x onerror="window.__pwned=1">')) fail("the <img> text is not shown as text");
    if (!look.text.includes("<script>window.__pwned=2</script>")) fail("the <script> text is not shown as text");
    if (look.elements !== 0) fail("the messages made " + look.elements + " elements");
    if (look.pwned !== null || dialogs.length) fail("a hostile text ran");
    if (look.coloured < 20) fail("the chart drew no line (" + look.coloured + " pixels)");
    console.log("status page: hostile texts shown as text, nothing ran; the chart drew " + look.coloured + " pixels");
    if (process.env.SHOT) {
      await page.waitForTimeout(8000);
      await page.screenshot({ path: process.env.SHOT, fullPage: true });
    }
  } finally {
    await browser.close();
  }
})().catch((e) => fail(String(e)));
