#!/usr/bin/python3
"""The pages of `wendmoor serve` in a real browser (headless Chromium through chromedriver).

Usage: browser_test.py WENDMOOR_BINARY

Records nothing: the archive is a folder of logs made with sox. Each check names the fault it
catches; the first failing one ends the run with a non-zero exit.
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.support.ui import WebDriverWait

BINARY = sys.argv[1]
DAY = '2026-03-02'
RATE = 8000


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def serve(archive, log_path, *options):
    port = free_port()
    log = open(log_path, 'w')
    server = subprocess.Popen([BINARY, 'serve', '--archive', archive, '--listen', f'127.0.0.1:{port}', *options],
                              stderr=log)
    for _ in range(100):
        try:
            socket.create_connection(('127.0.0.1', port), timeout=0.2).close()
            return server, f'http://127.0.0.1:{port}'
        except OSError:
            time.sleep(0.1)
    raise SystemExit(f'browser test: the server did not start: {open(log_path).read()}')


def browser():
    options = webdriver.ChromeOptions()
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--mute-audio', '--window-size=1200,900',
                '--autoplay-policy=no-user-gesture-required', '--disable-dev-shm-usage'):
        options.add_argument(arg)
    options.binary_location = '/usr/bin/chromium'
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def check(condition, fault):
    if not condition:
        raise SystemExit(f'browser test FAILED: {fault}')
    print(f'ok: {fault}')


def hold(driver, wait, start, end, reason):
    for field, value in (('holdFrom', start), ('holdTo', end)):
        # A time field takes its digits as typed; the script sets it as a person's typing would end.
        driver.execute_script('arguments[0].value = arguments[1]', driver.find_element(By.ID, field), value)
    driver.find_element(By.ID, 'holdReason').send_keys(reason)
    driver.find_element(By.CSS_SELECTOR, '#hold button').click()
    wait.until(lambda d: reason in d.find_element(By.ID, 'holds').text or d.find_element(By.ID, 'problem').is_displayed())


def main():
    work = tempfile.mkdtemp(prefix='wendmoor-browser-')
    archive = os.path.join(work, 'logs')
    os.mkdir(archive)
    # Two hours from midnight: a PCM log too long for the browser to have read ahead to where it
    # seeks, so that the seek is a range request.
    subprocess.run(['sox', '-n', '-r', str(RATE), '-c', '1', '-b', '16', os.path.join(archive, 'L030226.wav'),
                    'synth', '7200', 'sine', '440', 'vol', '0.2'], check=True)
    server_log = os.path.join(work, 'server.log')
    server, url = serve(archive, server_log)
    driver = browser()
    try:
        # A page redraws its lists when an answer arrives: what was read while it was replaced is
        # read again at the next poll.
        wait = WebDriverWait(driver, 60, ignored_exceptions=(StaleElementReferenceException,))
        driver.get(url + '/')
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, '#days tbody a'))
        days = [a.text for a in driver.find_elements(By.CSS_SELECTOR, '#days tbody a')]
        check(days == [DAY], f'the days page lists the recorded day (got {days})')

        driver.find_element(By.LINK_TEXT, DAY).click()
        wait.until(lambda d: d.execute_script('return document.body.dataset.ready') == 'yes')
        timeline = driver.find_element(By.ID, 'timeline')
        # A click at 01:20:00 of the day's 24 hours.
        width = timeline.size['width']
        x = round(width * 4800 / 86400) - width // 2
        ActionChains(driver).move_to_element_with_offset(timeline, x, 0).click().perform()
        wait.until(lambda d: d.execute_script('const p = document.getElementById("player"); '
                                              'return !p.paused && p.currentTime > 0'))
        requested = float(driver.execute_script('return document.body.dataset.requested'))
        clicked = driver.find_element(By.ID, 'time').get_attribute('value')
        h, m, s = (int(v) for v in clicked.split(':'))
        check(abs(requested - (h * 3600 + m * 60 + s)) < 0.001 and abs(requested - 4800) < 60,
              f'a click on the timeline plays from the clock time clicked ({clicked}, {requested} s into the log)')
        # Played on from there: the audio at that time has arrived.
        wait.until(lambda d: d.execute_script('return document.getElementById("player").currentTime') > requested + 0.5)
        current = driver.execute_script('return document.getElementById("player").currentTime')
        check(abs(current - requested) < 3, f'the audio element plays there (currentTime {current})')
        starts = [int(m) for m in re.findall(r'/audio\?date=' + DAY + r'&log=0 Range: bytes=(\d+)-', open(server_log).read())]
        at = 44 + requested * RATE * 2
        check(any(abs(start - at) <= RATE * 2 for start in starts),
              f'the server was asked for the bytes of that time (byte {at:.0f}; ranges asked {starts})')
        shown = driver.find_element(By.ID, 'clock').text
        check(shown.startswith('01:20') or shown.startswith('01:19'), f'the page shows the clock time playing ({shown})')

        for field, value in (('clipFrom', '00:10:00'), ('clipTo', '00:10:30')):
            driver.execute_script('arguments[0].value = arguments[1]', driver.find_element(By.ID, field), value)
        query = driver.execute_script('return new URLSearchParams(new FormData(document.getElementById("clip"))).toString()')
        clip = os.path.join(work, 'clip.wav')
        with urllib.request.urlopen(f'{url}/clip?{query}') as reply, open(clip, 'wb') as f:
            f.write(reply.read())
        seconds = subprocess.run(['soxi', '-D', clip], capture_output=True, text=True).stdout.strip()
        check(seconds and abs(float(seconds) - 30) < 0.01, f'the clip form downloads 30 s that sox reads ({seconds} s)')

        hold(driver, wait, '00:10:00', '00:30:00', 'complaint 17')
        check('complaint 17' in driver.find_element(By.ID, 'holds').text, 'a hold placed on the day page is listed there')

        driver.get(url + '/now')
        wait.until(lambda d: d.find_element(By.ID, 'recording').text != '…')
        check(driver.find_element(By.ID, 'recording').text == 'not running',
              'the now page says when no recorder is running')
    finally:
        driver.quit()
        server.terminate()
        server.wait(10)

    # With a password: every page needs the login first.
    password_file = os.path.join(work, 'password')
    with open(password_file, 'w') as f:
        f.write('open sesame\n')
    os.chmod(password_file, 0o644)
    refused = subprocess.run([BINARY, 'serve', '--archive', archive, '--listen', f'0.0.0.0:{free_port()}',
                              '--password-file', password_file], capture_output=True, text=True, timeout=20)
    check(refused.returncode != 0 and 'chmod 600' in refused.stderr,
          'a password file others can read is refused, and the message says how to fix it')
    refused = subprocess.run([BINARY, 'serve', '--archive', archive, '--listen', f'0.0.0.0:{free_port()}'],
                             capture_output=True, text=True, timeout=20)
    check(refused.returncode != 0 and 'password' in refused.stderr,
          'a non-loopback --listen without a password is refused')
    os.chmod(password_file, 0o600)
    server, url = serve(archive, server_log, '--password-file', password_file)
    driver = browser()
    try:
        wait = WebDriverWait(driver, 60, ignored_exceptions=(StaleElementReferenceException,))
        driver.get(url + f'/day?date={DAY}')
        check(driver.current_url.endswith('/login'), 'the day page sends a visitor to the login first')
        status = driver.execute_script(
            'return fetch("/api/holds", {method: "POST", body: new URLSearchParams({date: "%s", from: "01:00:00", '
            'to: "02:00:00", reason: "x", token: ""})}).then(r => r.status)' % DAY)
        check(status in (401, 403), f'a hold without a login is refused ({status})')
        driver.find_element(By.ID, 'password').send_keys('guess\n')
        wait.until(lambda d: 'failed' in d.current_url)
        check(driver.find_element(By.ID, 'problem').is_displayed(), 'a wrong password is said')
        driver.find_element(By.ID, 'password').send_keys('open sesame\n')
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, '#days tbody a'))
        check(driver.find_elements(By.CSS_SELECTOR, '#session button'), 'once logged in the days show and a log-out button')
        driver.get(url + f'/day?date={DAY}')
        wait.until(lambda d: d.execute_script('return document.body.dataset.ready') == 'yes')
        hold(driver, wait, '01:00:00', '02:00:00', 'court notice 4')
        check('court notice 4' in driver.find_element(By.ID, 'holds').text, 'logged in, the hold form places a hold')
    finally:
        driver.quit()
        server.terminate()
        server.wait(10)
    print('browser test: all passed')


main()
