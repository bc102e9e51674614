// A browser the C++ tests steer: one command per line on standard input, one answer per line on
// standard output ("@@N ok JSON" or "@@N fail MESSAGE"). Commands run as they come, so that a
// test can wait for the page while it makes the change it waits for. Debian's Chromium, started
// headless with the network quiet (no background connections), is the only browser it uses.
import { chromium } from "playwright-core";
import readline from "node:readline";

const browser = await chromium.launch({
  executablePath: process.env.QUENLO_CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
let page = null;

// What each command does; each gives the answer's JSON value.
const commands = {
  async open({ url, width, height }) {
    if (page) await page.close();
    page = await browser.newPage({ viewport: { width: width || 1280, height: height || 720 } });
    await page.goto(url);
    return page.url();
  },
  // Waits until the first element matching `selector` holds `text`; gives the time (ms since
  // the epoch, by the machine's clock) when the page first showed it.
  async waitText({ selector, text, timeout }) {
    const seen = await page.waitForFunction(([s, t]) => {
      const element = document.querySelector(s);
      return element !== null && element.textContent.includes(t) && Date.now();
    }, [selector, text], { timeout: timeout || 5000, polling: 5 });
    return seen.jsonValue();
  },
  async waitVisible({ selector, timeout }) {
    await page.locator(selector).first().waitFor({ state: "visible", timeout: timeout || 5000 });
    return true;
  },
  async waitHidden({ selector, timeout }) {
    await page.locator(selector).first().waitFor({ state: "hidden", timeout: timeout || 5000 });
    return true;
  },
  async count({ selector }) {
    return page.locator(selector).count();
  },
  // The document as the browser holds it now, and as it was served.
  async content() {
    const served = await (await page.request.get(page.url())).text();
    return (await page.content()) + "\n" + served;
  },
  async screenshot({ path, fullPage }) {
    await page.screenshot({ path, fullPage: fullPage === true });
    return path;
  },
};

const lines = readline.createInterface({ input: process.stdin });
for await (const line of lines) {
  if (line.trim() === "") continue;
  const { id, command, ...options } = JSON.parse(line);
  commands[command](options).then(
    (value) => process.stdout.write(`@@${id} ok ${JSON.stringify(value)}\n`),
    (error) => process.stdout.write(`@@${id} fail ${String(error.message).split("\n")[0]}\n`));
}
